#include "machine/MachineFolder.h"

#include "core/AnsiCodePage.h"
#include "files/AtomicFile.h"
#include "files/Drive.h"
#include "files/HostFile.h"
#include "machine/ImageDrive.h"
#include "machine/MachineSeed.h"
#include "machine/RegistrySeed.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace velmora {
namespace {

// QDir::mkpath cannot say why it failed; the user should learn that.
Result<void> makeFolder(const QString& path)
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), error);
    if (error)
        return failure(QString::fromLocal8Bit(error.message()));
    return {};
}

// What a new machine holds, relative to its root.
struct SeedFile {
    const char* relativePath;
    QByteArray (*bytes)();
};
constexpr SeedFile kSeedFiles[] = {
    {"drive_c/WINDOWS/WIN.INI", seedWinIni},
    {"drive_c/WINDOWS/SYSTEM.INI", seedSystemIni},
    {"system.reg", seedSystemReg},
};

// The folder was empty before seeding, so everything in it now is ours; removing it lets the
// next start seed afresh instead of finding half a machine.
void removeContents(const QString& root)
{
    QDir dir(root);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

// MSDOS.SYS is a few kilobytes; Windows itself wants it above 1024 bytes.
constexpr qint64 kMaxMsdosSys = 64 * 1024;

bool isBlank(QChar c)
{
    return c == u' ';
}

// Characters a FAT or VFAT name cannot hold; a control character (NUL above all) must never
// reach a host path.
bool isValidNameCharacter(QChar c)
{
    if (c.unicode() < 0x20)
        return false;
    switch (c.unicode()) {
    case u'<':
    case u'>':
    case u':':
    case u'"':
    case u'|':
    case u'?':
    case u'*':
        return false;
    default:
        return true;
    }
}

// The existing entry of folder that a Windows name denotes: matched case-insensitively, and
// when several host names differ only in case, the first in code-unit order, so every
// spelling of one Windows path always reaches the same host file.
QString matchEntry(const QString& folder, const QString& name)
{
    const QStringList entries = QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Unsorted);
    QString best;
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0 && (best.isNull() || entry < best))
            best = entry;
    }
    return best;
}

bool isInside(const QString& canonicalPath, const QString& canonicalFolder)
{
    return canonicalPath == canonicalFolder || canonicalPath.startsWith(canonicalFolder + u'/');
}

// The value of key in section of an INI text such as MSDOS.SYS (padding lines and all; a line
// ends at CR LF, LF or CR alone, mixed as an editor may leave them): section and key match
// case-insensitively, the first match wins, blanks around names and value do not count.
// Nothing when the text does not hold it.
std::optional<QByteArray> iniValue(QByteArrayView text, QByteArrayView section, QByteArrayView key)
{
    bool inSection = false;
    for (qsizetype start = 0, end = 0; start < text.size(); start = end + 1) {
        end = start;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        // An empty piece between CR and LF is an empty line, which matters to nobody.
        const QByteArrayView line = text.sliced(start, end - start).trimmed();
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            inSection =
                close > 0 && line.sliced(1, close - 1).trimmed().compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inSection && equals > 0 && line.first(equals).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return line.sliced(equals + 1).trimmed().toByteArray();
    }
    return std::nullopt;
}

// The Windows folder MSDOS.SYS names in [Paths] WinDir= ("C:\\WINDOWS" when it names none).
QString windowsFolderNamedIn(QByteArrayView msdosSys)
{
    QString windowsDir = QStringLiteral("C:\\WINDOWS");
    if (const std::optional<QByteArray> named = iniValue(msdosSys, "Paths", "WinDir");
        named && !named->isEmpty())
        windowsDir = fromAnsi(*named);
    if (windowsDir.startsWith(u'\\')) // on the boot drive
        windowsDir.prepend(QStringLiteral("C:"));
    return windowsDir;
}

// Whether a volume of an image is a Windows drive C: its MSDOS.SYS names a Windows folder that
// is there, or, without MSDOS.SYS, it has WINDOWS\SYSTEM.DAT.
bool isWindowsDriveC(FatVolume& volume)
{
    if (!volume.stat(u"MSDOS.SYS"))
        return bool(volume.stat(u"WINDOWS\\SYSTEM.DAT"));
    const Result<QByteArray> text = volume.readFile(u"MSDOS.SYS");
    if (!text || text->size() > kMaxMsdosSys)
        return false;
    const QString windowsDir = windowsFolderNamedIn(*text);
    if (windowsDir.size() < 4 || windowsDir.first(3).compare(QLatin1String("C:\\"), Qt::CaseInsensitive) != 0)
        return false;
    const Result<FatFileInfo> folder = volume.stat(windowsDir.mid(3));
    return folder && folder->isDirectory();
}

// The drive of an image that could not be opened: nothing can be read or written.
class UnusableDrive final : public Drive {
public:
    explicit UnusableDrive(QString reason) : m_reason(std::move(reason)) {}
    Result<Found<QByteArray>> readIfPresent(const QString&, qint64) override { return failure(m_reason); }
    bool isFolder(const QString&) override { return false; }
    QString folderOf(const QString&) const override { return {}; }
    Result<void> edit(const QString&, const FileEdit&, ReadOnlyFile) override { return failure(m_reason); }

private:
    QString m_reason;
};

} // namespace

MachineFolder::MachineFolder(const MachineName& name) : m_root(name.root)
{
    if (QFileInfo(m_root).isFile())
        openImage(name.partition);
    else
        recogniseDrive();
    if (name.partition && m_kind != Kind::Image)
        m_problem = QStringLiteral("%1 is not a disk image: a partition is chosen only on one").arg(m_root);
}

void MachineFolder::openImage(std::optional<int> partition)
{
    m_kind = Kind::Image;
    Result<std::unique_ptr<ImageDrive>> image = ImageDrive::open(m_root, isWindowsDriveC, partition);
    if (!image) {
        m_problem = image.reason();
        m_drive = std::make_shared<UnusableDrive>(m_problem);
        return;
    }
    m_notice = (*image)->recoveryNotice();
    m_partition = (*image)->partition().number;
    m_drive = std::shared_ptr<Drive>(std::move(*image));
    const Result<Found<QByteArray>> text = m_drive->readIfPresent(QStringLiteral("MSDOS.SYS"), kMaxMsdosSys);
    if (!text) {
        m_problem = QStringLiteral("MSDOS.SYS cannot be read: %1").arg(text.reason());
        return;
    }
    findWindowsFolder(text->isPresent(),
                      text->isPresent() ? windowsFolderNamedIn(text->value) : QStringLiteral("C:\\WINDOWS"));
}

void MachineFolder::recogniseDrive()
{
    m_drive = std::make_shared<HostDrive>(driveC());
    if (QFileInfo(m_root + QStringLiteral("/drive_c")).isDir())
        return;
    const QString msdosSys = matchEntry(m_root, QStringLiteral("MSDOS.SYS"));
    const QString windows = matchEntry(m_root, QStringLiteral("WINDOWS"));
    if (msdosSys.isNull() &&
        (windows.isNull() || matchEntry(m_root + u'/' + windows, QStringLiteral("SYSTEM.DAT")).isNull()))
        return;
    m_kind = Kind::Drive;
    m_drive = std::make_shared<HostDrive>(driveC());
    if (msdosSys.isNull()) {
        findWindowsFolder(false, QStringLiteral("C:\\WINDOWS"));
        return;
    }
    const Result<Found<QByteArray>> text = m_drive->readIfPresent(m_root + u'/' + msdosSys, kMaxMsdosSys);
    if (!text || !text->isPresent()) {
        m_problem = QStringLiteral("%1 cannot be read: %2")
                        .arg(shownInMessage(QString(m_root + u'/' + msdosSys)),
                             text ? QStringLiteral("the file does not exist") : text.reason());
        return;
    }
    findWindowsFolder(true, windowsFolderNamedIn(text->value));
}

void MachineFolder::findWindowsFolder(bool namedByMsdosSys, QString windowsDir)
{
    // Worked out before the mapping of "c:\windows" exists, so the name is taken literally.
    const Result<QString> host = hostPath(windowsDir);
    windowsDir = shownInMessage(windowsDir); // from here on, only shown
    if (!host) {
        m_problem = QStringLiteral("MSDOS.SYS names the Windows folder %1 ([Paths] WinDir=), which is not on "
                                   "this drive: %2")
                        .arg(windowsDir, host.reason());
    } else if (!m_drive->isFolder(*host)) {
        m_problem =
            !namedByMsdosSys
                ? QStringLiteral("the drive has no Windows folder %1").arg(windowsDir)
                : QStringLiteral("MSDOS.SYS names the Windows folder %1 ([Paths] WinDir=), which does "
                                 "not exist on this drive")
                      .arg(windowsDir);
    } else {
        m_windowsPath = m_kind == Kind::Image ? host->split(u'\\', Qt::SkipEmptyParts)
                                              : host->mid(m_root.size() + 1).split(u'/', Qt::SkipEmptyParts);
        if (m_windowsPath.isEmpty())
            m_problem = QStringLiteral("MSDOS.SYS names the root of the drive as the Windows folder");
    }
}

QString MachineFolder::defaultLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/velmora/machine");
}

QString MachineFolder::driveC() const
{
    return m_kind == Kind::Folder ? m_root + QStringLiteral("/drive_c") : m_root;
}

QString MachineFolder::windowsFolder() const
{
    const Result<QString> host = hostPath(u"C:\\WINDOWS");
    return host ? *host : driveC() + QStringLiteral("/WINDOWS");
}

QString MachineFolder::registryFile() const
{
    if (m_kind == Kind::Folder)
        return m_root + QStringLiteral("/system.reg");
    const QString windows = windowsFolder();
    if (m_kind == Kind::Image)
        return windows + QStringLiteral("\\SYSTEM.DAT");
    const QString name = matchEntry(windows, QStringLiteral("SYSTEM.DAT"));
    return windows + u'/' + (name.isNull() ? QStringLiteral("SYSTEM.DAT") : name);
}

Result<void> MachineFolder::prepare(Creation creation) const
{
    const QFileInfo info(m_root);
    const bool exists = info.exists() || info.isSymLink();
    const bool empty =
        !exists || (info.isDir() && QDir(m_root).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                         QDir::Hidden | QDir::System));
    // A mistyped path, or an empty mount point, must not quietly become a new machine.
    if (creation == Creation::MustExist && empty)
        return failure(
            exists
                ? QStringLiteral("%1 is empty: it holds no machine folder and no Windows drive").arg(m_root)
                : QStringLiteral("%1 does not exist").arg(m_root));
    if (creation == Creation::New && !empty)
        return failure(QStringLiteral("%1 already exists and is not an empty folder: a new machine is made "
                                      "only where nothing is")
                           .arg(m_root));

    if (!m_problem.isEmpty())
        return failure(m_problem);
    if (m_kind != Kind::Folder) {
        const QString registry = registryFile();
        const Result<bool> present = registryPresent();
        if (!present || !*present)
            return failure(QStringLiteral("%1 %2: without it this drive holds no Windows registry")
                               .arg(shownInMessage(registry),
                                    present ? QStringLiteral("does not exist")
                                            : QStringLiteral("cannot be read (%1)").arg(present.reason())));
        return {};
    }
    if (info.isDir()) {
        if (!empty)
            return {};
    } else if (exists) {
        return failure(QStringLiteral("the machine folder %1 is not a folder").arg(m_root));
    } else {
        if (const Result<void> made = makeFolder(m_root); !made)
            return failure(
                QStringLiteral("the machine folder %1 could not be created: %2").arg(m_root, made.reason()));
    }

    for (const SeedFile& seed : kSeedFiles) {
        const QString path = m_root + u'/' + QLatin1String(seed.relativePath);
        Result<void> written = makeFolder(QFileInfo(path).path());
        if (written)
            written = writeFileAtomically(path, seed.bytes());
        if (!written) {
            removeContents(m_root);
            return failure(QStringLiteral("the machine folder %1 could not be written: %2")
                               .arg(m_root, written.reason()));
        }
    }
    return {};
}

Result<bool> MachineFolder::registryPresent() const
{
    if (m_kind == Kind::Drive)
        return hostFileExists(registryFile(), HostFileRules{.within = m_root});
    const Result<Found<QByteArray>> read = m_drive->readIfPresent(registryFile(), kHostFileLimit);
    if (!read)
        return failure(read.reason());
    return read->isPresent();
}

Result<QString> MachineFolder::hostPath(QStringView windowsPath) const
{
    QString path = windowsPath.toString();
    path.replace(u'/', u'\\');

    if (path.startsWith(QLatin1String("\\\\")))
        return failure(QStringLiteral("a network path is not on this machine"));
    if (path.size() < 2 || path[1] != u':' || !path[0].isLetter()) {
        return failure(path.startsWith(u'\\') ? QStringLiteral("the path names no drive")
                                              : QStringLiteral("the path is not a full path"));
    }
    if (path[0].toLower() != u'c')
        return failure(QStringLiteral("drive %1: is not on this machine").arg(path[0].toUpper()));
    // "c:name" is relative to drive C's current folder, which this machine does not have.
    if (path.size() > 2 && path[2] != u'\\')
        return failure(QStringLiteral("the path is not a full path"));

    QStringList components = path.mid(2).split(u'\\', Qt::SkipEmptyParts);
    mapWindowsFolder(components);

    // On an image, the FAT volume matches names itself and holds no links.
    const bool image = m_kind == Kind::Image;
    const QChar separator = image ? u'\\' : u'/';
    QString host = image ? QString() : driveC();
    QString lastExisting = !image && QFileInfo(host).exists() ? host : QString();
    bool matching = !lastExisting.isNull();
    for (const QString& given : components) {
        QString component = given;
        if (component == QLatin1String("."))
            continue;
        // ".." climbs; "..." and the like climbed further on old systems. None may leave drive C,
        // and the simplest rule that guarantees it is to refuse them all.
        if (component.count(u'.') == component.size())
            return failure(QStringLiteral("the path leaves drive C"));
        // Windows ignores dots and spaces at the end of a name.
        while (!component.isEmpty() && (component.back() == u'.' || isBlank(component.back())))
            component.chop(1);
        if (component.isEmpty() || !std::all_of(component.cbegin(), component.cend(), isValidNameCharacter))
            return failure(QStringLiteral("\"%1\" is not a valid file name").arg(shownInMessage(given)));

        const QString existing = matching ? matchEntry(host, component) : QString();
        host += separator + (existing.isNull() ? component : existing);
        if (existing.isNull())
            matching = false; // nothing below a missing folder exists
        else
            lastExisting = host;
    }

    // A link inside the machine may point anywhere; only a target on drive C is acceptable.
    if (!lastExisting.isNull() && lastExisting != driveC()) {
        const QString canonical = QFileInfo(lastExisting).canonicalFilePath();
        const QString canonicalDrive = QFileInfo(driveC()).canonicalFilePath();
        if (canonical.isEmpty())
            return failure(QStringLiteral("the path leads to a broken link"));
        if (!isInside(canonical, canonicalDrive))
            return failure(QStringLiteral("the path leaves drive C"));
    }
    return image ? host.mid(1) : host;
}

void MachineFolder::mapWindowsFolder(QStringList& components) const
{
    if (m_windowsPath.isEmpty())
        return;
    const auto first = std::find_if(components.begin(), components.end(),
                                    [](const QString& component) { return component != QLatin1String("."); });
    if (first == components.end())
        return;
    QString name = *first;
    while (!name.isEmpty() && (name.back() == u'.' || isBlank(name.back())))
        name.chop(1);
    if (name.compare(QLatin1String("windows"), Qt::CaseInsensitive) != 0)
        return;
    const qsizetype at = first - components.begin();
    components.remove(at);
    for (qsizetype i = 0; i < m_windowsPath.size(); ++i)
        components.insert(at + i, m_windowsPath[i]);
}

} // namespace velmora
