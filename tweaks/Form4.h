#pragma once

#include "ui/VbForm.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace velmora {

// "Velmora - Modem Settings": puts "AT%C0" into the first modem's initialisation strings and
// switches three flags of the first dial-up adapter, one registry value per "Set" button.
// Holds the main window off while it is open.
class Form4 : public VbForm {
    Q_OBJECT
public:
    explicit Form4(AppContext& context);

    void Form_Load() override;
    void Form_Unload() override;

    // The three adapter flags, one row each (Check1..3 with Command3..5).
    static constexpr int kSwitchCount = 3;

public slots:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();

private:
    // Writes "AT%C0" as the modem's initialisation value 2 unless that value already exists.
    void applyFasterDialUp();
    // Writes the row's flag as its check box shows it and reports the new state.
    void applySwitch(int row);

    QPushButton* m_command1;
    QPushButton* m_command2;
    QCheckBox* m_checks[kSwitchCount];
    QLabel* m_tips2;
};

} // namespace velmora
