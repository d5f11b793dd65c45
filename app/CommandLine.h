#pragma once

#include "machine/MachineFolder.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace velmora {

// velmora's command line, read before any application object exists, so that what is answered
// on the terminal (--help, --version, --list-backups, --restore, a mistake) never needs a
// display. Qt's own window-system options (-platform NAME and the like) are let through to
// QApplication.
class CommandLine {
public:
    explicit CommandLine(const QStringList& arguments);

    // Whether the run only answers on the terminal; runInTerminal() then does it (a
    // QCoreApplication must exist) and gives the exit code.
    bool forTerminal() const;
    int runInTerminal();

    // The machine to open: --machine DIR (or DIR alone) or --new-machine DIR, else the default
    // machine folder;
    // on a disk image, the --partition chosen.
    MachineName machine() const;
    QString machineRoot() const;
    // Whether it may, or must, be made: only the default machine folder is seeded when it is
    // missing or empty, --machine names one that must be there, --new-machine one to make.
    MachineFolder::Creation machineCreation() const;
    // Checks the machine as runInTerminal() needs it; the reason when it cannot be used.
    Result<void> prepareMachine() const;

    // Why no window can be opened (no display and no platform chosen); empty when one can.
    QString displayProblem() const;

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QCommandLineOption m_machine;
    QCommandLineOption m_newMachine;
    QCommandLineOption m_partition;
    QCommandLineOption m_restore;
    QCommandLineOption m_force;
    QCommandLineOption m_listBackups;
    QStringList m_scriptCommand; // show, set or report and what follows it
    QString m_opened;            // a machine given as the one argument, as --machine
    QString m_mistake;           // what is wrong with the arguments
    bool m_platformForced = false;
};

} // namespace velmora
