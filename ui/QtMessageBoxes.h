#pragma once

#include "ui/MessageBoxes.h"

namespace velmora {

// The real message box: a modal QMessageBox titled "Velmora".
class QtMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString& text, MsgIcon icon, MsgButtons buttons) override;
};

} // namespace velmora
