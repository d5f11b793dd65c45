#include "machine/ProgramStarter.h"

#include "files/AtomicFile.h"
#include "machine/MachineFolder.h"
#include "machine/ProcessLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <array>
#include <optional>

namespace velmora {
namespace {

bool hasWindowsProgramSuffix(const QString& fileName)
{
    static const std::array<QLatin1String, 3> suffixes{QLatin1String(".exe"), QLatin1String(".com"),
                                                       QLatin1String(".bat")};
    for (const QLatin1String& suffix : suffixes) {
        if (fileName.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Wine runs a Linux program it is handed as a Linux program, whatever its name says. So the
// first bytes decide: a host executable or script is refused even when it is called .exe.
bool looksLikeHostProgram(const QByteArray& head)
{
    static const std::array<QByteArray, 7> magics{
        QByteArray("\x7f"
                   "ELF"),
        QByteArray("#!"),
        QByteArray("\xfe\xed\xfa\xce"),
        QByteArray("\xce\xfa\xed\xfe"), // Mach-O
        QByteArray("\xfe\xed\xfa\xcf"),
        QByteArray("\xcf\xfa\xed\xfe"),
        QByteArray("\xca\xfe\xba\xbe"),
    };
    for (const QByteArray& magic : magics) {
        if (head.startsWith(magic))
            return true;
    }
    return false;
}

std::optional<QByteArray> readHead(const QString& hostPath)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(4);
}

} // namespace

ProgramStarter::ProgramStarter(const MachineFolder& machine, ProcessLauncher* launcher,
                               QStringList wineSearchPaths, QString winePrefix)
    : m_machine(machine), m_launcher(launcher), m_wineSearchPaths(std::move(wineSearchPaths)),
      m_winePrefix(std::move(winePrefix))
{
}

QString ProgramStarter::defaultWinePrefix()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/velmora/wine");
}

// Builds the prefix by hand, as Wine would not: dosdevices/c: leads to the machine's drive C and
// no other drive letter exists.
Result<void> ProgramStarter::prepareWinePrefix() const
{
    const QString driveC = QFileInfo(m_machine.driveC()).canonicalFilePath();
    if (driveC.isEmpty())
        return failure(QStringLiteral("the machine has no drive C"));
    const QString devices = m_winePrefix + QStringLiteral("/dosdevices");
    auto broken = [this] {
        return failure(QStringLiteral("the Wine prefix %1 cannot be set up").arg(m_winePrefix));
    };
    if (!QDir().mkpath(devices))
        return broken();
    // "disable" keeps Wine from ever updating the prefix, which installs Wine's own Windows
    // files into its drive C.
    const QString timestamp = m_winePrefix + QStringLiteral("/.update-timestamp");
    const QByteArray disable("disable\n");
    QFile current(timestamp);
    if ((!current.open(QIODevice::ReadOnly) || current.readAll() != disable) &&
        !writeFileAtomically(timestamp, disable).ok())
        return broken();
    // Wine adds Z: (the host's root) only when it makes dosdevices itself; any drive letter added
    // since goes.
    static const QRegularExpression driveLetter(QStringLiteral("^[a-z]::?$"),
                                                QRegularExpression::CaseInsensitiveOption);
    const QString linkC = devices + QStringLiteral("/c:");
    for (const QFileInfo& entry :
         QDir(devices).entryInfoList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const bool isDriveC = entry.fileName() == QLatin1String("c:") && entry.symLinkTarget() == driveC;
        if (driveLetter.match(entry.fileName()).hasMatch() && !isDriveC && !QFile::remove(entry.filePath()))
            return broken();
    }
    if (!QFileInfo(linkC).isSymLink() && !QFile::link(driveC, linkC))
        return broken();
    return {};
}

QString ProgramStarter::wineProgram() const
{
    return QStandardPaths::findExecutable(QStringLiteral("wine"), m_wineSearchPaths);
}

bool ProgramStarter::fileExists(const QString& windowsPath) const
{
    if (windowsPath.isEmpty())
        return false;
    const Result<QString> host = m_machine.hostPath(windowsPath);
    return host && QFileInfo(*host).isFile();
}

Result<void> ProgramStarter::start(const QString& windowsPath) const
{
    if (windowsPath.isEmpty())
        return failure(QStringLiteral("no program was named"));
    const Result<QString> host = m_machine.hostPath(windowsPath);
    if (!host)
        return failure(QStringLiteral("%1: %2").arg(windowsPath, host.reason()));
    const QFileInfo info(*host);
    if (!info.exists())
        return failure(QStringLiteral("%1: the file does not exist").arg(windowsPath));
    if (!info.isFile())
        return failure(QStringLiteral("%1: not a file").arg(windowsPath));
    if (!hasWindowsProgramSuffix(info.fileName()))
        return failure(QStringLiteral("%1: not a Windows program").arg(windowsPath));

    const std::optional<QByteArray> head = readHead(*host);
    if (!head)
        return failure(QStringLiteral("%1: the file cannot be read").arg(windowsPath));
    const bool isExe = info.fileName().endsWith(QLatin1String(".exe"), Qt::CaseInsensitive);
    if (looksLikeHostProgram(*head) || (isExe && !head->startsWith("MZ")))
        return failure(QStringLiteral("%1: not a Windows program").arg(windowsPath));

    const QString wine = wineProgram();
    if (wine.isEmpty())
        return failure(QStringLiteral("Wine is not installed, so Windows programs cannot be started"));
    if (!m_launcher)
        return failure(QStringLiteral("this Velmora cannot start programs"));
    // The canonical path: what was checked above is exactly what Wine is given.
    const QString target = info.canonicalFilePath();
    if (const Result<void> prefix = prepareWinePrefix(); !prefix)
        return failure(QStringLiteral("%1 could not be started: %2").arg(windowsPath, prefix.reason()));
    // winemenubuilder would add menu entries and file types to the host's desktop.
    const QStringList environment{QStringLiteral("WINEPREFIX=") + m_winePrefix,
                                  QStringLiteral("WINEDLLOVERRIDES=winemenubuilder.exe=d")};
    if (const Result<void> started = m_launcher->startDetached(wine, {target}, environment); !started)
        return failure(QStringLiteral("%1 could not be started: %2").arg(windowsPath, started.reason()));
    return {};
}

} // namespace velmora
