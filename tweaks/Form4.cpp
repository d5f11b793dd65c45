#include "tweaks/Form4.h"

#include "tweaks/ModemTweaks.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/RegistryAccess.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVariant>

namespace velmora {
namespace {

const QString kUnknown = QStringLiteral("Unknown");

// One adapter flag's row: its check box, its "Set" button, and what the button says.
struct SwitchRow {
    const char* checkName;
    const char* checkCaption;
    const char* checkTooltip;
    int checkWidth;
    const char* buttonName;
    int top;
    const char* onMessage;
    const char* offMessage;
};

const SwitchRow kSwitches[Form4::kSwitchCount] = {
    {"Check1", "SlowNet On / Off", "Check to turn ON Slownet / Uncheck to turn Off slownet", 1695, "Command3",
     960, "Slownet was Turned ON", "Slownet was Turned OFF"},
    {"Check2", "IPX Header Compression On / Off",
     "Click to turn ON IPX Header Compression / Uncheck to turn it OFF", 2775, "Command4", 1320,
     "IPX Header Compression was Turned ON", "IPX Header Compression was Turned OFF"},
    {"Check3", "Point To Point IP On / Off", "Check to turn ON Point To Point IP / Uncheck to turn it OFF",
     2175, "Command5", 1680, "Point To Point IP was Turned ON", "Point To Point IP was Turned OFF"},
};
static_assert(Form4::kSwitchCount == kAdapterSwitchCount);

// The state of one of this window's values; "Unknown" when it cannot be read as text.
QString readValue(AppContext& context, const QString& keyPath, const QString& valueName)
{
    return readRegistryText(context, keyPath, valueName, kUnknown);
}

} // namespace

Form4::Form4(AppContext& context) : VbForm(context)
{
    setUpFixedWindow(this, QStringLiteral("Velmora - Modem Settings"), 4365, 2580);

    makeLabel(this, QStringLiteral("Label1"), QStringLiteral("Make your Dial Up Faster"),
              twipsRect(120, 120, 2055, 255));
    m_command1 =
        makeButton(this, QStringLiteral("Command1"), QStringLiteral("Set"),
                   QStringLiteral("Click to make your Dial-Up Faster"), twipsRect(3000, 120, 1215, 255));
    makeLabel(this, QStringLiteral("Label2"), QStringLiteral("Speed Up Downloads"),
              twipsRect(120, 480, 1695, 255));
    m_command2 = makeButton(this, QStringLiteral("Command2"), QStringLiteral("Set"),
                            QStringLiteral("Click to speed up downloads"), twipsRect(3000, 480, 1215, 255));

    QPushButton* setButtons[kSwitchCount];
    for (int row = 0; row < kSwitchCount; ++row) {
        const SwitchRow& s = kSwitches[row];
        m_checks[row] =
            makeCheckBox(this, QString::fromLatin1(s.checkName), QString::fromLatin1(s.checkCaption),
                         QString::fromLatin1(s.checkTooltip), twipsRect(120, s.top, s.checkWidth, 255));
        setButtons[row] =
            makeButton(this, QString::fromLatin1(s.buttonName), QStringLiteral("Set"),
                       QStringLiteral("Click to change settings"), twipsRect(3000, s.top, 1215, 255));
    }

    m_tips2 = makeTipsLabel(this, QStringLiteral("tips2"),
                            QStringLiteral("Tips: Read 'ModemTips.txt' for Tips / Help"),
                            twipsRect(0, 2160, 4095, 255));

    connect(m_command1, &QPushButton::clicked, this, &Form4::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form4::Command2_Click);
    connect(setButtons[0], &QPushButton::clicked, this, &Form4::Command3_Click);
    connect(setButtons[1], &QPushButton::clicked, this, &Form4::Command4_Click);
    connect(setButtons[2], &QPushButton::clicked, this, &Form4::Command5_Click);
}

void Form4::Form_Load()
{
    disableMainWindow();
    makeBold(m_tips2);

    for (int row = 0; row < kSwitchCount; ++row) {
        const QString read = readValue(m_context, kDialUpAdapterKey, adapterSwitches()[row].valueName);
        if (const std::optional<bool> state = adapterSwitchStateForReadText(read))
            m_checks[row]->setChecked(*state);
    }

    if (readValue(m_context, kModemInitKey, kModemInitValue) == kFasterDialUpCommand) {
        m_command1->setEnabled(false);
        m_command2->setEnabled(false);
    }
}

void Form4::Form_Unload()
{
    enableMainWindow();
}

void Form4::Command1_Click()
{
    applyFasterDialUp();
}

void Form4::Command2_Click()
{
    const bool proceed = m_context.messageBoxes.confirm(
        QStringLiteral(
            "By Making your downloads faster, the 'Time Remaining' will be inaccurate\r\nProceede?"),
        MsgIcon::None);
    if (!proceed) {
        m_context.messageBoxes.inform(QStringLiteral("Nothing was changed!"));
        return;
    }
    applyFasterDialUp();
}

void Form4::Command3_Click()
{
    applySwitch(0);
}
void Form4::Command4_Click()
{
    applySwitch(1);
}
void Form4::Command5_Click()
{
    applySwitch(2);
}

void Form4::applyFasterDialUp()
{
    const std::optional<MtuWrite> write =
        fasterDialUpWrite(readValue(m_context, kModemInitKey, kModemInitValue));
    if (!write)
        return;
    if (writeRegistryValue(m_context, write->keyPath, write->type, write->valueName, write->value))
        m_context.messageBoxes.inform(QStringLiteral("Settings were applied!"));
}

void Form4::applySwitch(int row)
{
    const bool on = m_checks[row]->isChecked();
    const MtuWrite write = adapterSwitchWrite(row, on);
    if (writeRegistryValue(m_context, write.keyPath, write.type, write.valueName, write.value))
        m_context.messageBoxes.inform(
            QString::fromLatin1(on ? kSwitches[row].onMessage : kSwitches[row].offMessage));
}

} // namespace velmora
