#include "app/Form1.h"

#include "ports/StandardComFrame.h"
#include "tweaks/ModemSettingsFrame.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/WindowRegistry.h"

#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace velmora {

Form1::Form1(AppContext& context) : VbForm(context)
{
    setUpFixedWindow(this, QStringLiteral("Velmora 1.2"), 9855, 7125);

    auto* about =
        makeButton(this, QStringLiteral("Command1"), QStringLiteral("&About Velmora"),
                   QStringLiteral("Click here to find out about Velmora"), twipsRect(8520, 120, 1215, 495));

    m_frame1 = new StandardComFrame(context, this);
    m_frame1->setTitle(QStringLiteral("Standard Com Settings"));
    m_frame1->setToolTip(QStringLiteral("Standard Comm Port Settings"));
    m_frame1->setGeometry(twipsRect(120, 720, 4815, 3495));

    m_frame2 = new ModemSettingsFrame(context, this);
    m_frame2->setTitle(QStringLiteral("Modem Settings"));
    m_frame2->setToolTip(QStringLiteral("Modem Settings"));
    m_frame2->setGeometry(twipsRect(5280, 720, 4455, 3495));

    QGroupBox* frame3 =
        makeFrame(this, QStringLiteral("Frame3"), QStringLiteral("Advanced / Custom Settings"), {},
                  twipsRect(120, 4320, 9615, 855));
    makePicture(frame3, QStringLiteral("Image5"), QStringLiteral(":/icons/modem.png"),
                twipsRect(90, 270, 480, 480));
    auto* bandwidth = makeButton(frame3, QStringLiteral("cmdBandwidth"), QStringLiteral("Bandwidth"),
                                 QStringLiteral("Advanced Bandwith control"), twipsRect(660, 330, 1350, 390));
    auto* modemInfo =
        makeButton(frame3, QStringLiteral("cmdModemInfo"), QStringLiteral("Modem Info"),
                   QStringLiteral("Advanced Modem Information"), twipsRect(2100, 330, 1350, 390));
    makePicture(frame3, QStringLiteral("Image4"), QStringLiteral(":/icons/buffer.png"),
                twipsRect(3555, 270, 480, 480));
    auto* bufferSet =
        makeButton(frame3, QStringLiteral("cmdCustomBufferSet"), QStringLiteral("Buffer Settings"),
                   QStringLiteral("Advanced Buffer Settings"), twipsRect(4125, 330, 1530, 390));
    auto* modemSet = makeButton(frame3, QStringLiteral("cmdCustomModemSet"), QStringLiteral("Modem Settings"),
                                QStringLiteral("Advanced Modem Settings"), twipsRect(5745, 330, 1530, 390));
    makePicture(frame3, QStringLiteral("Image2"), QStringLiteral(":/icons/network.png"),
                twipsRect(7380, 270, 480, 480));
    auto* commSet =
        makeButton(frame3, QStringLiteral("cmdCustomCommSet"), QStringLiteral(" Com Settings"),
                   QStringLiteral("Advanced Comm Port Settings"), twipsRect(7950, 330, 1560, 390));
    commSet->setIcon(QIcon(QStringLiteral(":/icons/port-small.png")));

    makePicture(this, QStringLiteral("Image1"), QStringLiteral(":/images/banner.jpg"),
                twipsRect(120, 5250, 9615, 1290),
                QStringLiteral("Velmora - Your serial ports, tuned the way they were meant to be"));
    m_lblTips = makeLabel(this, QStringLiteral("lblTips"), QString(), twipsRect(120, 6600, 3525, 255));
    auto* info = makeLabel(this, QStringLiteral("Label10"),
                           QStringLiteral("Changes take effect the next time Windows starts."),
                           twipsRect(3720, 6600, 5895, 255));
    info->setToolTip(QStringLiteral("My Information!!"));

    connect(about, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(bandwidth, &QPushButton::clicked, this, &Form1::cmdBandwidth_Click);
    connect(modemInfo, &QPushButton::clicked, this, &Form1::cmdModemInfo_Click);
    connect(bufferSet, &QPushButton::clicked, this, &Form1::cmdCustomBufferSet_Click);
    connect(modemSet, &QPushButton::clicked, this, &Form1::cmdCustomModemSet_Click);
    connect(commSet, &QPushButton::clicked, this, &Form1::cmdCustomCommSet_Click);
}

void Form1::Form_Load()
{
    m_context.windows.show(QStringLiteral("splash"));
    makeBold(m_frame1->tip1());
    makeBold(m_frame2->tips2());
    makeBold(m_lblTips, 9);
    m_frame1->fillLists();
    m_frame2->loadFromRegistry();
}

// Each button opens its window; one the program does not have yet opens nothing.
void Form1::Command1_Click()
{
    m_context.windows.show(QStringLiteral("frmAbout"));
}
void Form1::cmdBandwidth_Click()
{
    m_context.windows.show(QStringLiteral("Form6"));
}
void Form1::cmdModemInfo_Click()
{
    m_context.windows.show(QStringLiteral("Form2"));
}
void Form1::cmdCustomBufferSet_Click()
{
    m_context.windows.show(QStringLiteral("Form5"));
}
void Form1::cmdCustomModemSet_Click()
{
    m_context.windows.show(QStringLiteral("Form4"));
}

void Form1::cmdCustomCommSet_Click()
{
    if (m_frame1->cmbCommPorts()->currentText() == QLatin1String("Select a Comm Port")) {
        m_context.messageBoxes.inform(QStringLiteral("Please select a comm port from the Comm Settings Box"),
                                      MsgIcon::Exclamation);
        return;
    }
    m_context.windows.show(QStringLiteral("Form3"));
}

} // namespace velmora
