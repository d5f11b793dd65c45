#include "app/CommandLine.h"

#include "app/Velmora.h"
#include "cli/ScriptCommand.h"
#include "machine/Backups.h"
#include "machine/MachineFolder.h"

#include <QCoreApplication>

#include <cstdio>

namespace velmora {
namespace {

// QGuiApplication and QApplication take these out of the arguments themselves.
const QStringList kQtOptionsWithValue = {QStringLiteral("platform"),
                                         QStringLiteral("platformpluginpath"),
                                         QStringLiteral("platformtheme"),
                                         QStringLiteral("plugin"),
                                         QStringLiteral("qwindowgeometry"),
                                         QStringLiteral("geometry"),
                                         QStringLiteral("qwindowtitle"),
                                         QStringLiteral("title"),
                                         QStringLiteral("qwindowicon"),
                                         QStringLiteral("icon"),
                                         QStringLiteral("display"),
                                         QStringLiteral("style"),
                                         QStringLiteral("stylesheet"),
                                         QStringLiteral("session"),
                                         QStringLiteral("name")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("nograb"), QStringLiteral("dograb"),
                              QStringLiteral("sync"), QStringLiteral("widgetcount")};

void print(std::FILE* stream, const QString& text)
{
    std::fputs(qPrintable(text), stream);
    std::fflush(stream);
}

// The arguments without Qt's window-system options; notes whether a platform was chosen.
QStringList withoutQtOptions(const QStringList& arguments, bool* platformForced)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const QString name = argument.startsWith(u'-') && !argument.startsWith(QLatin1String("--"))
                                 ? argument.mid(1)
                                 : QString();
        if (i > 0 && kQtOptionsWithValue.contains(name) && i + 1 < arguments.size()) {
            *platformForced = *platformForced || name == QLatin1String("platform");
            ++i;
        } else if (i == 0 || !kQtFlags.contains(name)) {
            kept.append(argument);
        }
    }
    return kept;
}

int listBackupsOnTerminal(const QString& folder)
{
    const Result<QList<Backup>> backups = listBackups(folder);
    if (!backups) {
        print(stderr, QStringLiteral("velmora: %1\n").arg(backups.reason()));
        return 1;
    }
    if (backups->isEmpty())
        print(stdout, QStringLiteral("No backups in %1.\n").arg(folder));
    for (const Backup& backup : *backups) {
        if (!backup.damage.isEmpty()) {
            print(stdout, QStringLiteral("%1  cannot be used: %2\n").arg(backup.name, backup.damage));
            continue;
        }
        if (backup.partition)
            print(stdout, QStringLiteral("%1  disk image %2, partition %3\n")
                              .arg(backup.name, backup.machine)
                              .arg(*backup.partition));
        else
            print(stdout, QStringLiteral("%1  machine %2\n").arg(backup.name, backup.machine));
        for (const BackedUpFile& file : backup.files)
            print(stdout, QStringLiteral("    %1%2\n")
                              .arg(backup.shownPath(file),
                                   file.copy.isEmpty() ? QStringLiteral(" (did not exist)") : QString()));
    }
    return 0;
}

int restoreOnTerminal(const QString& folder, const QString& name, const MachineName& machine, bool force)
{
    const Result<RestoreOutcome> outcome = restoreBackup(folder, name, machine, force);
    if (!outcome) {
        print(stderr, QStringLiteral("velmora: %1\n").arg(outcome.reason()));
        return 1;
    }
    print(stdout, QStringLiteral("Backup %1:\n").arg(outcome->backup));
    for (const QString& path : outcome->restored)
        print(stdout, QStringLiteral("  restored: %1\n").arg(path));
    for (const QString& path : outcome->unchanged)
        print(stdout, QStringLiteral("  already as it was: %1\n").arg(path));
    for (const QString& path : outcome->leftAlone)
        print(stderr,
              QStringLiteral("  left alone, changed since Velmora wrote it (--force puts it back): %1\n")
                  .arg(path));
    for (const QString& path : outcome->missing)
        print(stderr, QStringLiteral("  missing, the file is gone (--force puts it back): %1\n").arg(path));
    for (const QString& failed : outcome->failed)
        print(stderr, QStringLiteral("  not restored: %1\n").arg(failed));
    return outcome->leftAlone.isEmpty() && outcome->missing.isEmpty() && outcome->failed.isEmpty() ? 0 : 1;
}

// What --partition names: a number from 1 (fdisk's numbering); none for anything else.
std::optional<int> partitionNumber(const QString& text)
{
    bool ok = false;
    const int number = text.toInt(&ok);
    return ok && number >= 1 ? std::optional<int>(number) : std::nullopt;
}

} // namespace

CommandLine::CommandLine(const QStringList& arguments)
    : m_help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Shows this help and exits.")),
      m_version({QStringLiteral("v"), QStringLiteral("version")},
                QStringLiteral("Shows the version and exits.")),
      m_machine(
          QStringLiteral("machine"),
          QStringLiteral(
              "The machine to work on (default: %1, made with a Windows 98 SE configuration on first "
              "start). Either a machine folder: DIR/drive_c is drive C, DIR/system.reg the registry. Or "
              "the root of a Windows 95/98/Me drive C (a mounted disk image or a copy): a folder without "
              "drive_c that holds MSDOS.SYS, or WINDOWS/SYSTEM.DAT (names in any case). There the "
              "Windows folder is the one MSDOS.SYS names in [Paths] WinDir= (else WINDOWS), the "
              "registry is its SYSTEM.DAT, and nothing is ever seeded. Or a virtual disk image file "
              "holding such a drive (raw, VHD, VDI, VMDK, qcow2, VHDX): each save is one transaction in "
              "the image, refused while another program has it open. Shut Windows down "
              "first. A DIR that does not exist or is empty is refused: --new-machine makes a new machine.")
              .arg(MachineFolder::defaultLocation()),
          QStringLiteral("DIR")),
      m_newMachine(
          QStringLiteral("new-machine"),
          QStringLiteral("Makes a new machine folder DIR with a Windows 98 SE configuration and opens the "
                         "window on it (a display is needed); DIR must be missing or an empty folder."),
          QStringLiteral("DIR")),
      m_partition(
          QStringLiteral("partition"),
          QStringLiteral("With --machine IMAGE (and --restore): the partition Windows is on, numbered as "
                         "fdisk numbers them (1-4 primary, 5 on logical). Needed only when several "
                         "partitions hold a Windows drive C and none of them is the active one."),
          QStringLiteral("N")),
      m_restore(QStringLiteral("restore"),
                QStringLiteral("Puts a backup back (BACKUP, else the newest of the --machine given, else the "
                               "newest): only over files that still hold what Velmora last wrote.")),
      m_force(QStringLiteral("force"),
              QStringLiteral("With --restore: also over files changed since Velmora wrote them.")),
      m_listBackups(QStringLiteral("list-backups"),
                    QStringLiteral("Lists the backups in %1.").arg(BackupSession::defaultLocation()))
{
    m_parser.setApplicationDescription(
        QStringLiteral(
            "Shows and tunes the serial port, modem and dial-up settings of a Windows 95/98 machine.\n"
            "Before a run first changes a file, the file as it was is kept in %1.\n\n%2")
            .arg(BackupSession::defaultLocation(), scriptCommandsHelp()));
    m_parser.addOptions(
        {m_help, m_version, m_machine, m_newMachine, m_partition, m_restore, m_force, m_listBackups});
    m_parser.addPositionalArgument(QStringLiteral("BACKUP"),
                                   QStringLiteral("With --restore: the backup to put back (its name as "
                                                  "--list-backups shows it)."),
                                   QStringLiteral("[BACKUP]"));

    // A sub-command and what follows it are the script's own.
    QStringList ownArguments = arguments;
    QStringList valueOptions = {QStringLiteral("--machine"), QStringLiteral("--new-machine"),
                                QStringLiteral("--partition")};
    for (const QString& option : kQtOptionsWithValue)
        valueOptions.append(QLatin1Char('-') + option);
    if (const qsizetype at = scriptCommandAt(arguments, valueOptions); at > 0) {
        m_scriptCommand = arguments.mid(at);
        ownArguments = arguments.first(at);
    }

    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    m_platformForced = !platform.isEmpty();
    if (!m_parser.parse(withoutQtOptions(ownArguments, &m_platformForced))) {
        m_mistake = m_parser.errorText();
        return;
    }
    const QStringList positional = m_parser.positionalArguments();
    // A file manager opens a disk image with its path as the one argument (the desktop entry).
    if (positional.size() == 1 && m_scriptCommand.isEmpty() &&
        !(m_parser.isSet(m_restore) || m_parser.isSet(m_listBackups) || m_parser.isSet(m_machine) ||
          m_parser.isSet(m_newMachine)))
        m_opened = positional.first();
    if (positional.size() > (m_parser.isSet(m_restore) || !m_opened.isEmpty() ? 1 : 0))
        m_mistake = QStringLiteral("Unexpected argument '%1'.").arg(positional.last());
    else if (m_parser.isSet(m_force) && !m_parser.isSet(m_restore))
        m_mistake = QStringLiteral("--force goes only with --restore.");
    else if (m_parser.isSet(m_restore) && m_parser.isSet(m_listBackups))
        m_mistake = QStringLiteral("--restore and --list-backups do not go together.");
    else if (!m_scriptCommand.isEmpty() && (m_parser.isSet(m_restore) || m_parser.isSet(m_listBackups)))
        m_mistake =
            QStringLiteral("%1 goes with neither --restore nor --list-backups.").arg(m_scriptCommand.first());
    else if (m_parser.isSet(m_newMachine) && m_parser.isSet(m_machine))
        m_mistake = QStringLiteral("--machine and --new-machine do not go together.");
    else if (m_parser.isSet(m_newMachine) &&
             (m_parser.isSet(m_restore) || m_parser.isSet(m_listBackups) || !m_scriptCommand.isEmpty()))
        m_mistake = QStringLiteral("--new-machine goes only with opening the window.");
    else if (m_parser.isSet(m_partition) &&
             (!(m_parser.isSet(m_machine) || !m_opened.isEmpty()) || m_parser.isSet(m_listBackups)))
        m_mistake = QStringLiteral("--partition goes only with --machine IMAGE.");
    else if (m_parser.isSet(m_partition) && !partitionNumber(m_parser.value(m_partition)))
        m_mistake =
            QStringLiteral("--partition %1: not a partition number (1, 2, ... as fdisk numbers them).")
                .arg(m_parser.value(m_partition));
}

bool CommandLine::forTerminal() const
{
    return !m_mistake.isEmpty() || m_parser.isSet(m_help) || m_parser.isSet(m_version) ||
           m_parser.isSet(m_restore) || m_parser.isSet(m_listBackups) || !m_scriptCommand.isEmpty();
}

int CommandLine::runInTerminal()
{
    if (!m_mistake.isEmpty()) {
        print(stderr,
              QStringLiteral("velmora: %1\nTry 'velmora --help' for more information.\n").arg(m_mistake));
        return 2;
    }
    if (m_parser.isSet(m_help)) {
        print(stdout, m_parser.helpText());
        return 0;
    }
    if (m_parser.isSet(m_version)) {
        print(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion()));
        return 0;
    }
    const QString backups = BackupSession::defaultLocation();
    if (!m_scriptCommand.isEmpty()) {
        // A machine named with --machine must be there: a mistyped path never becomes one. It is
        // closed again before the command opens it (a disk image is held while open).
        if (const Result<void> there = prepareMachine(); !there) {
            print(stderr, QStringLiteral("velmora: The machine %1 cannot be used:\n%2\n")
                              .arg(machineRoot(), there.reason()));
            return 1;
        }
        return runScriptCommand(m_scriptCommand, machine(), backups, &Velmora::registryOf);
    }
    if (m_parser.isSet(m_listBackups))
        return listBackupsOnTerminal(backups);
    const QStringList positional = m_parser.positionalArguments();
    return restoreOnTerminal(backups, positional.value(0),
                             {m_parser.value(m_machine), partitionNumber(m_parser.value(m_partition))},
                             m_parser.isSet(m_force));
}

MachineName CommandLine::machine() const
{
    return {machineRoot(), partitionNumber(m_parser.value(m_partition))};
}

QString CommandLine::machineRoot() const
{
    if (m_parser.isSet(m_newMachine))
        return m_parser.value(m_newMachine);
    if (!m_opened.isEmpty())
        return m_opened;
    return m_parser.isSet(m_machine) ? m_parser.value(m_machine) : MachineFolder::defaultLocation();
}

Result<void> CommandLine::prepareMachine() const
{
    const MachineFolder machine(this->machine());
    // Opening a disk image puts back a save that was cut short; the user hears of it.
    if (!machine.notice().isEmpty())
        print(stderr, QStringLiteral("velmora: %1\n").arg(machine.notice()));
    return machine.prepare(machineCreation());
}

MachineFolder::Creation CommandLine::machineCreation() const
{
    if (m_parser.isSet(m_newMachine))
        return MachineFolder::Creation::New;
    return m_parser.isSet(m_machine) || !m_opened.isEmpty() ? MachineFolder::Creation::MustExist
                                                            : MachineFolder::Creation::SeedWhenEmpty;
}

QString CommandLine::displayProblem() const
{
    if (m_platformForced || !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty())
        return {};
    return QStringLiteral(
        "cannot open a window: there is no display (DISPLAY and WAYLAND_DISPLAY are not set). "
        "Start it in a graphical session; --help, --version, --list-backups, --restore and the "
        "sub-commands show, set and report work in any terminal.");
}

} // namespace velmora
