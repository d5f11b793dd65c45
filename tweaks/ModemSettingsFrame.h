#pragma once

#include <QGroupBox>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velmora {

struct AppContext;

// "Modem Settings" of the main window: the MTU packet size (dial-up adapter or America
// Online) and the network transport's maximum number of instances.
class ModemSettingsFrame : public QGroupBox {
    Q_OBJECT
public:
    ModemSettingsFrame(AppContext& context, QWidget* parent);

    // Shows the stored values, as the main window's load does once.
    void loadFromRegistry();

    QLabel* tips2() const { return m_tips2; }

public slots:
    void cmdSetMaxInst_Click();
    void Command2_Click();
    void Command3_Click();

private:
    // The first selected MTU option, or -1 after refusing when none is.
    int selectedOption() const;

    AppContext& m_context;
    QLineEdit* m_txtMaxInst;
    QRadioButton* m_optMTU[5];
    QLineEdit* m_txtMTU;
    QLabel* m_tips2;
};

} // namespace velmora
