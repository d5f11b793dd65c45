#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

namespace velmora {

class MachineFolder;
class ProcessLauncher;

// Starting a Windows program of the machine, as Windows' own "run this path" does. Only a
// Windows executable (.exe, .com, .bat) that is a regular file on drive C is ever started, and
// only through Wine, detached; a path that reaches the host (another drive, "..", a link out of
// the machine, a Linux program in disguise) is refused. The text usually comes from registry
// data, which anyone can write, so nothing in it may choose what runs on the host.
//
// Wine runs the program in a Wine prefix of Velmora's own whose only drive is the machine's
// drive C, so the program sees the machine and not the host (a usual prefix maps the host's
// root as drive Z). The prefix is never brought up to date by Wine: that would write Wine's
// own Windows files into the machine's drive C, over the machine's own programs.
class ProgramStarter {
public:
    // wineSearchPaths: where to look for "wine" (empty: the PATH).
    ProgramStarter(const MachineFolder& machine, ProcessLauncher* launcher, QStringList wineSearchPaths = {},
                   QString winePrefix = defaultWinePrefix());

    // <XDG data home>/velmora/wine
    static QString defaultWinePrefix();

    // Starts the program and returns at once; the reason when it was not started.
    Result<void> start(const QString& windowsPath) const;

    // Whether an ordinary file (not a folder) of that Windows path exists on drive C.
    bool fileExists(const QString& windowsPath) const;

    // The Wine program that would start it, or an empty text when Wine is not installed.
    QString wineProgram() const;

private:
    Result<void> prepareWinePrefix() const;

    const MachineFolder& m_machine;
    ProcessLauncher* m_launcher;
    QStringList m_wineSearchPaths;
    QString m_winePrefix;
};

} // namespace velmora
