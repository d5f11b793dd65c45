#include "support/ScriptedSaveAs.h"

#include <gtest/gtest.h>

namespace velmora::testing {

std::optional<QString> ScriptedSaveAs::askForFile(const QString& pattern)
{
    m_lastPattern = pattern;
    if (m_answers.isEmpty()) {
        ADD_FAILURE() << "unexpected Save As dialog (pattern " << pattern.toStdString() << ")";
        return std::nullopt;
    }
    return m_answers.takeFirst();
}

} // namespace velmora::testing
