#pragma once

#include "ui/VbForm.h"

class QLabel;
class QLineEdit;

namespace velmora {

class StandardComFrame;

// "Com Settings": lets the user type free values for the bits per second, data bits and stop
// bits of the main window's chosen port. It only fills the main window's lists; the main
// window's Apply writes them.
class Form3 : public VbForm {
    Q_OBJECT
public:
    explicit Form3(AppContext& context);

    void Form_Load() override;
    void Form_Unload() override;

public slots:
    void Command1_Click();
    void Command2_Click();
    void txtParity_Change();
    void txtFlow_Change();

private:
    // Parity and flow control cannot be customised here: an edit is refused and undone.
    void refuseEdit(QLineEdit* box);
    // The port frame of the main window, whose lists this window reads and fills.
    StandardComFrame* mainPortFrame() const;

    QLineEdit* m_txtBPS;
    QLineEdit* m_txtParity;
    QLineEdit* m_txtData;
    QLineEdit* m_txtStop;
    QLineEdit* m_txtFlow;
    QLabel* m_tip1;
};

} // namespace velmora
