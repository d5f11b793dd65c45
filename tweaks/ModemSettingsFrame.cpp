#include "tweaks/ModemSettingsFrame.h"

#include "config/Module2.h"
#include "tweaks/MtuChoice.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/RegistryAccess.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace velmora {
namespace {

const QString kUnknown = QStringLiteral("Unknown");

} // namespace

ModemSettingsFrame::ModemSettingsFrame(AppContext& context, QWidget* parent)
    : QGroupBox(parent), m_context(context)
{
    setObjectName(QStringLiteral("Frame2"));
    makeLabel(this, QStringLiteral("Label6"), QStringLiteral("Max # of Instances"),
              twipsRect(150, 360, 1650, 255));
    m_txtMaxInst =
        makeTextBox(this, QStringLiteral("txtMaxInst"), QStringLiteral("8"),
                    QStringLiteral("Enter Number of Max Instances"), twipsRect(1875, 300, 480, 330), 2);
    auto* setMaxInst = makeButton(this, QStringLiteral("cmdSetMaxInst"), QStringLiteral("Set"),
                                  QStringLiteral("Click to Set the Number of Max Instances"),
                                  twipsRect(2475, 285, 900, 360));
    makePicture(this, QStringLiteral("Image7"), QStringLiteral(":/icons/modem.png"),
                twipsRect(3840, 240, 480, 480));
    makeLabel(this, QStringLiteral("Label8"), QStringLiteral("Chose MTU Packet Size"),
              twipsRect(150, 750, 3000, 255));

    const struct {
        const char* caption;
        const char* tooltip;
    } options[5] = {
        {"Auto Detect MTU Packet Size", "Click to allow your Modem to Automaticly find the MTU Size"},
        {"Small (576)", "This is recommended for Analog Modem Users"},
        {"Medium (1000)", "This is recommended for ISDN Users"},
        {"Large (1500) ", "This is recommended for CABLE, ASDL, DSL, T3, OC3 and Faster"},
        {"Other", "This is recommended ONLY if you know what you are doing!"},
    };
    for (int i = 0; i < kMtuOptionCount; ++i)
        m_optMTU[i] =
            makeOption(this, QStringLiteral("optMTU_%1").arg(i), QString::fromLatin1(options[i].caption),
                       QString::fromLatin1(options[i].tooltip), twipsRect(150, 1020 + i * 270, 3000, 270));
    m_optMTU[0]->setChecked(true);
    m_txtMTU =
        makeTextBox(this, QStringLiteral("txtMTU"), QString(),
                    QStringLiteral("Enter your own MTU Packet Size"), twipsRect(1350, 2085, 1350, 315));

    auto* command2 = makeButton(this, QStringLiteral("Command2"),
                                QStringLiteral("Set Selected MTU Packet size for AOL 4.0"),
                                QStringLiteral("Set this MTU Size for AOL"), twipsRect(150, 2445, 4155, 360));
    auto* command3 = makeButton(this, QStringLiteral("Command3"),
                                QStringLiteral("Set Selected MTU Packet size for your Modem"),
                                QStringLiteral("Set this MTU Size for Dial - Up Network Connections"),
                                twipsRect(150, 2835, 4155, 360));
    m_tips2 = makeTipsLabel(this, QStringLiteral("tips2"),
                            QStringLiteral("Tips: Read 'ModemTips.txt' for Tips / Help"),
                            twipsRect(150, 3210, 4050, 255));

    connect(setMaxInst, &QPushButton::clicked, this, &ModemSettingsFrame::cmdSetMaxInst_Click);
    connect(command2, &QPushButton::clicked, this, &ModemSettingsFrame::Command2_Click);
    connect(command3, &QPushButton::clicked, this, &ModemSettingsFrame::Command3_Click);
}

void ModemSettingsFrame::loadFromRegistry()
{
    const QString maxInstance =
        readRegistryText(m_context, kMaxInstanceKey, QStringLiteral("MaxInstance"), kUnknown);
    if (maxInstance == kUnknown) {
        // A write of the load's own: it stays silent, whatever its outcome.
        MtuWrite eight = maxInstanceWrite(QStringLiteral("8"));
        HKEY root = HKEY_LOCAL_MACHINE;
        m_context.registryValues.WriteKeyValue(root, eight.keyPath, eight.type, eight.valueName, eight.value);
        m_txtMaxInst->setText(QStringLiteral("8"));
    } else {
        m_txtMaxInst->setText(maxInstance);
    }

    const QString mtu = readRegistryText(m_context, kDialUpAdapterKey, QStringLiteral("IPMTU"), kUnknown);
    if (mtu == kUnknown)
        return;
    const int option = mtuOptionForStoredText(mtu);
    m_optMTU[option]->setChecked(true);
    if (option == kOtherMtuOption)
        m_txtMTU->setText(mtu);
}

int ModemSettingsFrame::selectedOption() const
{
    for (int i = 0; i < kMtuOptionCount; ++i)
        if (m_optMTU[i]->isChecked())
            return i;
    m_context.messageBoxes.inform(QStringLiteral("You have not selected an MTU packet size!"),
                                  MsgIcon::Critical);
    return -1;
}

void ModemSettingsFrame::cmdSetMaxInst_Click()
{
    const MtuWrite write = maxInstanceWrite(m_txtMaxInst->text());
    if (writeRegistryValue(m_context, write.keyPath, write.type, write.valueName, write.value))
        m_context.messageBoxes.inform(QStringLiteral("Max Instance has been set!"));
}

void ModemSettingsFrame::Command3_Click()
{
    const int option = selectedOption();
    if (option < 0)
        return;
    const MtuWrite write = dialUpMtuWrite(option, m_txtMTU->text());
    if (writeRegistryValue(m_context, write.keyPath, write.type, write.valueName, write.value))
        m_context.messageBoxes.inform(QStringLiteral("Dial-Up Adapter MTU Packet Size has been set!"));
}

void ModemSettingsFrame::Command2_Click()
{
    const int option = selectedOption();
    if (option < 0)
        return;
    const std::optional<MtuWrite> write = aolMtuWrite(option, m_txtMTU->text());
    if (!write) {
        m_context.messageBoxes.inform(QStringLiteral("Please enter a valid MTU packet size!"),
                                      MsgIcon::Exclamation);
        return;
    }
    if (writeRegistryValue(m_context, write->keyPath, write->type, write->valueName, write->value))
        m_context.messageBoxes.inform(QStringLiteral("America Online MTU Packet Size has been set!"));
}

} // namespace velmora
