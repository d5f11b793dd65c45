#pragma once

#include <QString>
#include <QStringList>

namespace velmora {

// The one place where the program starts another process on the host: detached, without
// waiting. Everything that decides whether and what to start lies in front of it.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    virtual bool startDetached(const QString& program, const QStringList& arguments, QString* reason) = 0;
};

} // namespace velmora
