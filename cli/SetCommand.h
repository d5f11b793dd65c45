#pragma once

#include <QList>
#include <QString>

#include <cstdio>
#include <utility>

namespace velmora {

class ScriptMachine;
struct Setting;

// Sets the requested settings: all checked first, then written in order through the windows'
// own calls (each file backed up before its first change). Prints, per value written, where it
// lives and its old and new contents; with dryRun only prints them. The exit code: 0 done,
// 1 refused (nothing written) or a write failed.
int runSet(ScriptMachine& machine, const QList<std::pair<const Setting*, QString>>& requests, bool dryRun,
           std::FILE* out, std::FILE* err);

} // namespace velmora
