#include "support/RecordingLauncher.h"

namespace velmora::testing {

bool RecordingLauncher::startDetached(const QString& program, const QStringList& arguments, QString* reason)
{
    m_started.append({program, arguments});
    if (m_failure.isEmpty())
        return true;
    if (reason)
        *reason = m_failure;
    return false;
}

} // namespace velmora::testing
