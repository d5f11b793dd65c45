#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <QString>

namespace velmora::testing {

// A message-box double: every box must have been expected, in order, with its text, icon
// and buttons; the scripted answer is returned. Anything else fails the running test.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Box {
        QString text;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::Ok;
        MsgAnswer answer = MsgAnswer::Ok;
    };

    ~ScriptedMessageBoxes() override;

    void expect(const QString& text, MsgIcon icon = MsgIcon::None, MsgButtons buttons = MsgButtons::Ok,
                MsgAnswer answer = MsgAnswer::Ok);
    // Any text starting with this prefix (for messages that carry a platform reason).
    void expectStartingWith(const QString& prefix, MsgIcon icon, MsgButtons buttons = MsgButtons::Ok);

    MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) override;

    // Fails the test when an expected box was not shown.
    void verifyAllShown();
    const QList<Box>& shown() const { return m_shown; }
    // Full text of the last box shown.
    QString lastText() const { return m_shown.isEmpty() ? QString() : m_shown.back().text; }

private:
    struct Expectation {
        Box box;
        bool prefixOnly = false;
    };
    QList<Expectation> m_expected;
    QList<Box> m_shown;
};

} // namespace velmora::testing
