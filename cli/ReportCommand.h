#pragma once

#include <QString>

#include <cstdio>

namespace velmora {

class ScriptMachine;

// The modem report, byte for byte as the Modem Info window saves it, to the host file given
// (replaced atomically) or, without one, to out. The exit code: 0 written, 1 not.
int runReport(ScriptMachine& machine, const QString& hostFile, std::FILE* out, std::FILE* err);

} // namespace velmora
