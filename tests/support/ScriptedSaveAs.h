#pragma once

#include "platform/SaveAsDialog.h"

#include <QList>

#include <gtest/gtest.h>

#include <optional>

namespace velmora::testing {

// A Save As double: hands out the scripted answers in order (a path, or nothing for a
// cancelled dialog) and remembers the last pattern asked with. Asking with no answer left fails
// the running test.
class ScriptedSaveAs : public SaveAsDialog {
public:
    void pick(const QString& hostPath) { m_answers.append(hostPath); }
    void cancel() { m_answers.append(std::nullopt); }
    const QString& lastPattern() const { return m_lastPattern; }

    std::optional<QString> askForFile(const QString& pattern) override
    {
        m_lastPattern = pattern;
        EXPECT_FALSE(m_answers.isEmpty())
            << "unexpected Save As dialog (pattern " << pattern.toStdString() << ")";
        return m_answers.isEmpty() ? std::nullopt : m_answers.takeFirst();
    }

private:
    QList<std::optional<QString>> m_answers;
    QString m_lastPattern;
};

} // namespace velmora::testing
