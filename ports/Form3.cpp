#include "ports/Form3.h"

#include "ports/StandardComFrame.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowRegistry.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {
namespace {

const QString kFixedText = QStringLiteral("Not Customizeable");

// Rows of label and box, top to bottom (twips).
constexpr int kLabelLeft = 150, kBoxLeft = 1725, kBoxWidth = 3000, kFirstRow = 660, kRowPitch = 420;

QRect rowLabel(int row)
{
    return twipsRect(kLabelLeft, kFirstRow + row * kRowPitch + 30, 1500, 255);
}
QRect rowBox(int row)
{
    return twipsRect(kBoxLeft, kFirstRow + row * kRowPitch, kBoxWidth, 315);
}

// Copies a typed value into the main window's list; an empty box leaves the list as it is.
void copyUnlessEmpty(const QLineEdit* box, QComboBox* list)
{
    if (!box->text().isEmpty())
        list->setEditText(box->text());
}

} // namespace

Form3::Form3(AppContext& context) : VbForm(context)
{
    setUpFixedWindow(this, QStringLiteral("Velmora- Com Settings"), 4950, 3720);

    makeLabel(this, QStringLiteral("Label2"),
              QStringLiteral("You can set your own values for the com port chosen"),
              twipsRect(150, 150, 4575, 255));
    makeLine(this, QStringLiteral("Line1"), twipsRect(150, 495, 4575, 15));

    const struct {
        const char* label;
        const char* labelText;
        const char* box;
        const char* tooltip;
        QLineEdit** member;
    } rows[] = {
        {"Label1", "Bits Per Second", "txtBPS", "Enter a custom Bits Per Second Rate", &m_txtBPS},
        {"Label3", "Parity", "txtParity", "This is not Changeable!", &m_txtParity},
        {"Label4", "Data Bits", "txtData", "Enter a customEnter a custom Data Bit size", &m_txtData},
        {"Label5", "Stop Bits", "txtStop", "Enter a custom Stop Bit Size", &m_txtStop},
        {"Label6", "Flow Control", "txtFlow", "Not changeable!", &m_txtFlow},
    };
    int row = 0;
    for (const auto& r : rows) {
        makeLabel(this, QString::fromLatin1(r.label), QString::fromLatin1(r.labelText), rowLabel(row));
        *r.member = makeTextBox(this, QString::fromLatin1(r.box), QString(), QString::fromLatin1(r.tooltip),
                                rowBox(row));
        colourBox(*r.member);
        ++row;
    }
    m_txtParity->setText(kFixedText);
    m_txtFlow->setText(kFixedText);

    auto* ok = makeButton(this, QStringLiteral("Command1"), QStringLiteral("Ok"),
                          QStringLiteral("Click to UPDATE the standard Comm Port Settings"),
                          twipsRect(975, 2790, 1425, 390));
    auto* cancel = makeButton(this, QStringLiteral("Command2"), QStringLiteral("Cancel"),
                              QStringLiteral("Click to Cancel"), twipsRect(2550, 2790, 1425, 390));
    m_tip1 = makeTipsLabel(this, QStringLiteral("tip1"),
                           QStringLiteral("Tips: Read 'ComTips.txt' for Tips / Help"),
                           twipsRect(150, 3330, 4575, 255));

    // The typed values first, then the buttons; the fixed boxes come last.
    setTabOrder(m_txtBPS, m_txtData);
    setTabOrder(m_txtData, m_txtStop);
    setTabOrder(m_txtStop, ok);
    setTabOrder(ok, cancel);
    setTabOrder(cancel, m_txtParity);
    setTabOrder(m_txtParity, m_txtFlow);

    connect(ok, &QPushButton::clicked, this, &Form3::Command1_Click);
    connect(cancel, &QPushButton::clicked, this, &Form3::Command2_Click);
    connect(m_txtParity, &QLineEdit::textEdited, this, &Form3::txtParity_Change);
    connect(m_txtFlow, &QLineEdit::textEdited, this, &Form3::txtFlow_Change);
}

void Form3::Form_Load()
{
    disableMainWindow();
    makeBold(m_tip1);
    if (const StandardComFrame* ports = mainPortFrame()) {
        m_txtBPS->setText(ports->comBps()->currentText());
        m_txtData->setText(ports->comData()->currentText());
        m_txtStop->setText(ports->comStop()->currentText());
    }
}

StandardComFrame* Form3::mainPortFrame() const
{
    VbForm* main = m_context.windows.loaded(QStringLiteral("Form1"));
    return main ? main->findChild<StandardComFrame*>() : nullptr;
}

void Form3::Form_Unload()
{
    enableMainWindow();
}

void Form3::Command1_Click()
{
    if (const StandardComFrame* ports = mainPortFrame()) {
        copyUnlessEmpty(m_txtBPS, ports->comBps());
        copyUnlessEmpty(m_txtData, ports->comData());
        copyUnlessEmpty(m_txtStop, ports->comStop());
    }
    close();
}

void Form3::Command2_Click()
{
    m_context.messageBoxes.inform(QStringLiteral("No changes were made!"));
    close();
}

void Form3::txtParity_Change()
{
    refuseEdit(m_txtParity);
}
void Form3::txtFlow_Change()
{
    refuseEdit(m_txtFlow);
}

void Form3::refuseEdit(QLineEdit* box)
{
    m_context.messageBoxes.inform(QStringLiteral("You Cant Change this here!!"), MsgIcon::Exclamation);
    box->setText(kFixedText); // setText does not count as the user's edit: no second message
}

} // namespace velmora
