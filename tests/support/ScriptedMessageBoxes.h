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
    // A text that starts with this prefix and goes on (a message that carries a platform reason).
    void expectStartingWith(const QString& prefix, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok,
                            MsgAnswer answer = MsgAnswer::Ok)
    {
        m_expected.append({prefix, icon, buttons, answer, true});
    }

    MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) override
    {
        const std::string shown = '"' + text.toStdString() + '"';
        if (m_expected.isEmpty()) {
            ADD_FAILURE() << "unexpected message box: " << shown;
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
        }
        const Box next = m_expected.takeFirst();
        EXPECT_TRUE(next.prefixOnly ? text.startsWith(next.text) && text.size() > next.text.size()
                                    : text == next.text)
            << "message box " << shown << ", expected \"" << next.text.toStdString() << '"';
        EXPECT_EQ(int(icon), int(next.icon)) << "icon of " << shown;
        EXPECT_EQ(buttons == MsgButtons::YesNo, next.buttons == MsgButtons::YesNo) << "buttons of " << shown;
        return next.answer;
    }

    // Fails the test when an expected box was not shown.
    void verifyAllShown()
    {
        for (const Box& missing : m_expected)
            ADD_FAILURE() << "expected message box was not shown: \"" << missing.text.toStdString() << "\"";
        m_expected.clear();
    }

private:
    struct Box {
        QString text;
        MsgIcon icon;
        MsgButtons buttons;
        MsgAnswer answer;
        bool prefixOnly;
    };
    QList<Box> m_expected;
};

} // namespace velmora::testing
