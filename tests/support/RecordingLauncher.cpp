#include "support/RecordingLauncher.h"

namespace velmora::testing {

Result<void> RecordingLauncher::startDetached(const QString& program, const QStringList& arguments,
                                              const QStringList& environment)
{
    m_started.append({program, arguments, environment});
    if (m_failure.isEmpty())
        return {};
    return failure(m_failure);
}

} // namespace velmora::testing
