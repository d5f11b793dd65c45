#pragma once

#include <QGroupBox>

class QComboBox;
class QLabel;
class QPushButton;

namespace velmora {

struct AppContext;

// "Standard Com Settings" of the main window: shows and changes the line settings of
// COM1 to COM4 kept in the "Ports" section of c:\windows\win.ini.
class StandardComFrame : public QGroupBox {
    Q_OBJECT
public:
    StandardComFrame(AppContext& context, QWidget* parent);

    // Fills the six lists, as the main window's load does once.
    void fillLists();

    QComboBox* cmbCommPorts() const { return m_cmbCommPorts; }
    QComboBox* comBps() const { return m_comBps; }
    QComboBox* comData() const { return m_comData; }
    QComboBox* comStop() const { return m_comStop; }
    QLabel* tip1() const { return m_tip1; }
    const QString& strComPort() const { return m_strComPort; }

public slots:
    void cmbCommPorts_Click();
    void cmdApplyCom_Click();

private:
    AppContext& m_context;
    QString m_strComPort;
    QComboBox* m_cmbCommPorts;
    QComboBox* m_comBps;
    QComboBox* m_comParity;
    QComboBox* m_comData;
    QComboBox* m_comStop;
    QComboBox* m_comFlow;
    QPushButton* m_cmdApplyCom;
    QLabel* m_tip1;
};

} // namespace velmora
