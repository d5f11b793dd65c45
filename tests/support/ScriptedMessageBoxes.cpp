#include "support/ScriptedMessageBoxes.h"

#include <gtest/gtest.h>

namespace velmora::testing {
namespace {

const char* iconName(MsgIcon icon)
{
    static const char* const names[] = {"no icon", "exclamation", "question", "critical"};
    return names[int(icon)];
}

} // namespace

ScriptedMessageBoxes::~ScriptedMessageBoxes()
{
    verifyAllShown();
}

void ScriptedMessageBoxes::expect(const QString& text, MsgIcon icon, MsgButtons buttons, MsgAnswer answer)
{
    m_expected.append({{text, icon, buttons, answer}, false});
}

void ScriptedMessageBoxes::expectStartingWith(const QString& prefix, MsgIcon icon, MsgButtons buttons)
{
    m_expected.append({{prefix, icon, buttons, MsgAnswer::Ok}, true});
}

MsgAnswer ScriptedMessageBoxes::show(const QString& text, MsgIcon icon, MsgButtons buttons)
{
    m_shown.append({text, icon, buttons, MsgAnswer::Ok});
    if (m_expected.isEmpty()) {
        ADD_FAILURE() << "unexpected message box: \"" << text.toStdString() << "\" (" << iconName(icon)
                      << ")";
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
    const Expectation next = m_expected.takeFirst();
    if (next.prefixOnly)
        EXPECT_TRUE(text.startsWith(next.box.text))
            << "message box \"" << text.toStdString() << "\" should start with \""
            << next.box.text.toStdString() << "\"";
    else
        EXPECT_EQ(text.toStdString(), next.box.text.toStdString());
    EXPECT_EQ(iconName(icon), std::string(iconName(next.box.icon)))
        << "icon of \"" << text.toStdString() << "\"";
    EXPECT_EQ(buttons == MsgButtons::YesNo, next.box.buttons == MsgButtons::YesNo)
        << "buttons of \"" << text.toStdString() << "\"";
    return next.box.answer;
}

void ScriptedMessageBoxes::verifyAllShown()
{
    for (const Expectation& missing : m_expected)
        ADD_FAILURE() << "expected message box was not shown: \"" << missing.box.text.toStdString() << "\"";
    m_expected.clear();
}

} // namespace velmora::testing
