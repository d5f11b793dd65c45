#pragma once

#include "cli/ScriptMachine.h"

#include <QString>
#include <QStringList>

namespace velmora {

// The sub-commands a script runs on a machine, with no display: show, set and report.

// Where the sub-command stands among the program's arguments (arguments[0] is the program);
// -1 when there is none. The value of an option named in valueOptions is never one.
qsizetype scriptCommandAt(const QStringList& arguments, const QStringList& valueOptions);

// The sub-commands and setting names, for --help.
QString scriptCommandsHelp();

// Runs the sub-command (words[0]) and its arguments on the machine named, prepared as for the
// windows. The exit code: 0 everything asked was done, 1 something was refused or
// failed, 2 the arguments are wrong.
int runScriptCommand(const QStringList& words, const MachineName& machine, const QString& backupsFolder,
                     const RegistryStoreFor& storeFor);

} // namespace velmora
