#pragma once

#include "machine/ProcessLauncher.h"

#include <QList>

namespace velmora::testing {

// Stands in for starting a host process: records every request and answers as told, so no
// test ever runs anything.
class RecordingLauncher : public ProcessLauncher {
public:
    struct Start {
        QString program;
        QStringList arguments, environment;
    };

    Result<void> startDetached(const QString& program, const QStringList& arguments,
                               const QStringList& environment) override
    {
        m_started.append({program, arguments, environment});
        return m_failure.isEmpty() ? Result<void>() : Result<void>(failure(m_failure));
    }

    // The answer to the next requests; a failure carries this reason.
    void failWith(const QString& reason) { m_failure = reason; }
    const QList<Start>& started() const { return m_started; }

private:
    QList<Start> m_started;
    QString m_failure;
};

} // namespace velmora::testing
