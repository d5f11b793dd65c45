#include "tweaks/ModemSettingsFrame.h"

#include "config/Module2.h"
#include "platform/MessageBoxes.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/RegistryAccess.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace velmora {
namespace {

const QString kMaxInstanceKey =
    QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi\\");
// The fixed sizes go to the key spelled with a blank, a typed size to the one spelled "%20".
const QString kAolKey = QStringLiteral("Software\\America Online\\AOL\\aolsock\\");
const QString kAolTypedKey = QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\");
const QString kUnknown = QStringLiteral("Unknown");
constexpr qint32 kText = 1, kNumber = 4;

// The sizes of options 0 to 3.
constexpr int kFixedSizes[4] = {0, 576, 1000, 1500};

} // namespace

ModemSettingsFrame::ModemSettingsFrame(AppContext& context, QWidget* parent)
    : QGroupBox(parent), m_context(context)
{
    setObjectName(QStringLiteral("Frame2"));
    makeLabel(this, QStringLiteral("Label6"), QStringLiteral("Max # of Instances"), {10, 24, 110, 17});
    m_txtMaxInst = makeTextBox(this, QStringLiteral("txtMaxInst"), QStringLiteral("8"),
                               QStringLiteral("Enter Number of Max Instances"), {125, 20, 32, 22}, 2);
    auto* setMaxInst =
        makeButton(this, QStringLiteral("cmdSetMaxInst"), QStringLiteral("Set"),
                   QStringLiteral("Click to Set the Number of Max Instances"), {165, 19, 60, 24});
    makePicture(this, QStringLiteral("Image7"), QStringLiteral(":/icons/modem.png"), {256, 16, 32, 32});
    makeLabel(this, QStringLiteral("Label8"), QStringLiteral("Chose MTU Packet Size"), {10, 50, 200, 17});

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
    for (int i = 0; i < 5; ++i)
        m_optMTU[i] =
            makeOption(this, QStringLiteral("optMTU_%1").arg(i), QString::fromLatin1(options[i].caption),
                       QString::fromLatin1(options[i].tooltip), {10, 68 + i * 18, 200, 18});
    m_optMTU[0]->setChecked(true);
    m_txtMTU = makeTextBox(this, QStringLiteral("txtMTU"), QString(),
                           QStringLiteral("Enter your own MTU Packet Size"), {90, 139, 90, 21});

    auto* command2 = makeButton(this, QStringLiteral("Command2"),
                                QStringLiteral("Set Selected MTU Packet size for AOL 4.0"),
                                QStringLiteral("Set this MTU Size for AOL"), {10, 163, 277, 24});
    auto* command3 = makeButton(
        this, QStringLiteral("Command3"), QStringLiteral("Set Selected MTU Packet size for your Modem"),
        QStringLiteral("Set this MTU Size for Dial - Up Network Connections"), {10, 189, 277, 24});
    m_tips2 = makeTipsLabel(this, QStringLiteral("tips2"),
                            QStringLiteral("Tips: Read 'ModemTips.txt' for Tips / Help"), {10, 214, 270, 17});

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
        HKEY root = HKEY_LOCAL_MACHINE;
        qint32 type = kText;
        QVariant eight = QStringLiteral("8");
        m_context.registryValues->WriteKeyValue(root, kMaxInstanceKey, type, QStringLiteral("MaxInstance"),
                                                eight);
        m_txtMaxInst->setText(QStringLiteral("8"));
    } else {
        m_txtMaxInst->setText(maxInstance);
    }

    const QString mtu = readRegistryText(m_context, kDialUpAdapterKey, QStringLiteral("IPMTU"), kUnknown);
    if (mtu == kUnknown)
        return;
    for (int option : {1, 2, 3, 0}) {
        if (mtu == QString::number(kFixedSizes[option])) {
            m_optMTU[option]->setChecked(true);
            return;
        }
    }
    m_optMTU[4]->setChecked(true);
    m_txtMTU->setText(mtu);
}

int ModemSettingsFrame::selectedOption() const
{
    for (int i = 0; i < 5; ++i)
        if (m_optMTU[i]->isChecked())
            return i;
    m_context.messageBoxes.inform(QStringLiteral("You have not selected an MTU packet size!"),
                                  MsgIcon::Critical);
    return -1;
}

void ModemSettingsFrame::cmdSetMaxInst_Click()
{
    if (writeRegistryValue(m_context, kMaxInstanceKey, kText, QStringLiteral("MaxInstance"),
                           m_txtMaxInst->text()))
        m_context.messageBoxes.inform(QStringLiteral("Max Instance has been set!"));
}

void ModemSettingsFrame::Command3_Click()
{
    const int option = selectedOption();
    if (option < 0)
        return;
    const QString size = option < 4 ? QString::number(kFixedSizes[option]) : m_txtMTU->text();
    if (writeRegistryValue(m_context, kDialUpAdapterKey, kText, QStringLiteral("IPMTU"), size))
        m_context.messageBoxes.inform(QStringLiteral("Dial-Up Adapter MTU Packet Size has been set!"));
}

void ModemSettingsFrame::Command2_Click()
{
    const int option = selectedOption();
    if (option < 0)
        return;
    qint32 size = 0;
    if (option < 4) {
        size = kFixedSizes[option];
    } else {
        bool whole = false;
        size = m_txtMTU->text().toInt(&whole, 10);
        if (!whole) {
            m_context.messageBoxes.inform(QStringLiteral("Please enter a valid MTU packet size!"),
                                          MsgIcon::Exclamation);
            return;
        }
    }
    if (writeRegistryValue(m_context, option < 4 ? kAolKey : kAolTypedKey, kNumber, QStringLiteral("mtu"),
                           size))
        m_context.messageBoxes.inform(QStringLiteral("America Online MTU Packet Size has been set!"));
}

} // namespace velmora
