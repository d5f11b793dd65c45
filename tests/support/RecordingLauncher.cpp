#include "support/RecordingLauncher.h"

namespace velmora::testing {

bool RecordingLauncher::startDetached(const QString& program, const QStringList& arguments,
                                      const QStringList& environment, QString* reason)
{
    m_started.append({program, arguments, environment});
    if (m_failure.isEmpty())
        return true;
    if (reason)
        *reason = m_failure;
    return false;
}

} // namespace velmora::testing
