#pragma once

#include "platform/MessageBoxes.h"

#include <QList>

#include <gtest/gtest.h>

namespace velmora::testing {

// A message-box double: every box must have been expected, in order, with its text, icon
// and buttons; the scripted answer is returned. Anything else fails the running test.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    ~ScriptedMessageBoxes() override { verifyAllShown(); }

    void expect(const QString& text, MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok,
                MsgAnswer answer = MsgAnswer::Ok)
    {
        m_expected.append({text, icon, buttons, answer, false});
    }
    // Any text starting with this prefix (for messages that carry a platform reason).
    void expectStartingWith(const QString& prefix, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok,
                            MsgAnswer answer = MsgAnswer::Ok)
    {
        m_expected.append({prefix, icon, buttons, answer, true});
    }

    MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) override
    {
        m_lastText = text;
        if (m_expected.isEmpty()) {
            ADD_FAILURE() << "unexpected message box: \"" << text.toStdString() << "\"";
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
        }
        const Box next = m_expected.takeFirst();
        EXPECT_TRUE(next.prefixOnly ? text.startsWith(next.text) : text == next.text)
            << "message box \"" << text.toStdString() << "\", expected \"" << next.text.toStdString()
            << (next.prefixOnly ? "...\"" : "\"");
        EXPECT_EQ(int(icon), int(next.icon)) << "icon of \"" << text.toStdString() << "\"";
        EXPECT_EQ(buttons == MsgButtons::YesNo, next.buttons == MsgButtons::YesNo)
            << "buttons of \"" << text.toStdString() << "\"";
        return next.answer;
    }

    // Fails the test when an expected box was not shown.
    void verifyAllShown()
    {
        for (const Box& missing : m_expected)
            ADD_FAILURE() << "expected message box was not shown: \"" << missing.text.toStdString() << "\"";
        m_expected.clear();
    }
    // Full text of the last box shown.
    const QString& lastText() const { return m_lastText; }

private:
    struct Box {
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
        MsgAnswer answer;
        bool prefixOnly;
    };
    QList<Box> m_expected;
    QString m_lastText;
};

} // namespace velmora::testing
