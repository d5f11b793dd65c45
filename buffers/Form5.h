#pragma once

#include "ui/VbForm.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace velmora {

// "Advanced Buffer Settings": a COM port's buffer size (and its IRQ) in the "386Enh" section
// of c:\windows\system.ini, and the serial driver's send and receive FIFO sizes in the registry.
class Form5 : public VbForm {
    Q_OBJECT
public:
    explicit Form5(AppContext& context);

    void Form_Load() override;
    void Form_Unload() override;

public slots:
    void cmdSetBuffer_Click();
    void cmdSetFIFOBuff_Click();

private:
    // Fills both size lists and shows the sizes stored for the serial driver.
    void loadFifoSizes();

    QLineEdit* m_Text1;
    QLineEdit* m_txtIRQ;
    QLineEdit* m_txtBuffer;
    QComboBox* m_cmbTx;
    QComboBox* m_cmbRx;
    QLabel* m_tips2;
    QLabel* m_tip1;
};

} // namespace velmora
