#pragma once

#include "core/Result.h"

#include <QString>
#include <QStringList>

namespace velmora {

// The one place where the program starts another process on the host: detached, without
// waiting. Everything that decides whether and what to start lies in front of it. The
// environment ("NAME=value") is set on top of Velmora's own.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    virtual Result<void> startDetached(const QString& program, const QStringList& arguments,
                                       const QStringList& environment) = 0;
};

} // namespace velmora
