#pragma once

#include "machine/ProcessLauncher.h"

namespace velmora {

// Starts host processes for real, detached: the program keeps running after Velmora ends and
// Velmora never waits for it.
class QProcessLauncher : public ProcessLauncher {
public:
    Result<void> startDetached(const QString& program, const QStringList& arguments,
                               const QStringList& environment) override;
};

} // namespace velmora
