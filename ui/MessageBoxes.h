#pragma once

#include <QString>

namespace velmora {

enum class MsgIcon { None, Exclamation, Question, Critical };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

// The platform's modal message box. Every box the program shows is titled "Velmora"; the
// windows ask this service for them so that a test can script the answers and check each box.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) = 0;

    // The common case: information or a refusal with an OK button.
    void inform(const QString& text, MsgIcon icon = MsgIcon::None) { show(text, icon, MsgButtons::Ok); }
    // Only Yes counts as consent.
    bool confirm(const QString& text, MsgIcon icon)
    {
        return show(text, icon, MsgButtons::YesNo) == MsgAnswer::Yes;
    }
};

} // namespace velmora
