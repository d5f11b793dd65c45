#pragma once

#include "ui/VbForm.h"

class QLabel;

namespace velmora {

class StandardComFrame;
class ModemSettingsFrame;

// The main window and start-up window: the standard port settings, the modem settings, and
// the buttons that open every other window.
class Form1 : public VbForm {
    Q_OBJECT
public:
    explicit Form1(AppContext& context);

    void Form_Load() override;

public slots:
    void Command1_Click();
    void cmdBandwidth_Click();
    void cmdModemInfo_Click();
    void cmdCustomBufferSet_Click();
    void cmdCustomModemSet_Click();
    void cmdCustomCommSet_Click();

private:
    StandardComFrame* m_frame1;
    ModemSettingsFrame* m_frame2;
    QLabel* m_lblTips;
};

} // namespace velmora
