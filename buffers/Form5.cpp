#include "buffers/Form5.h"

#include "buffers/FifoSizes.h"
#include "buffers/PortBuffer.h"
#include "config/IniHelpers.h"
#include "profile/ProfileWriter.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/RegistryAccess.h"
#include "ui/SaveFailure.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

namespace velmora {
namespace {

constexpr qint32 kNumberType = 4;

// Two frames side by side; rows of label and box inside each (twips).
constexpr int kFrameWidth = 3780, kFrameHeight = 2670, kFirstRow = 450, kRowPitch = 480;

QRect rowLabel(int row)
{
    return twipsRect(150, kFirstRow + row * kRowPitch + 30, 1860, 255);
}
QRect rowBox(int row)
{
    return twipsRect(2100, kFirstRow + row * kRowPitch, 1530, 330);
}
QRect frameButton()
{
    return twipsRect(150, 2010, kFrameWidth - 300, 420);
}

} // namespace

Form5::Form5(AppContext& context) : VbForm(context)
{
    setUpFixedWindow(this, QStringLiteral("Velmora - Advanced Buffer Settings"), 3 * 120 + 2 * kFrameWidth,
                     3690);

    QGroupBox* frame1 = makeFrame(this, QStringLiteral("Frame1"), QStringLiteral("Com Port Buffer"), {},
                                  twipsRect(120, 120, kFrameWidth, kFrameHeight), colours::frameCaption);
    makeLabel(frame1, QStringLiteral("lblComBuff"), QStringLiteral("Enter Com Port"), rowLabel(0));
    m_Text1 = makeTextBox(frame1, QStringLiteral("Text1"), QStringLiteral("2"),
                          QStringLiteral("Enter a Comm Port Number"), rowBox(0), 1);
    makeLabel(frame1, QStringLiteral("Label1"), QStringLiteral("Enter IRQ"), rowLabel(1));
    m_txtIRQ =
        makeTextBox(frame1, QStringLiteral("txtIRQ"), QStringLiteral("3"),
                    QStringLiteral("Enter the IRQ Address for the Comm Port you selected"), rowBox(1), 1);
    makeLabel(frame1, QStringLiteral("Label9"), QStringLiteral("Enter Buffer Size"), rowLabel(2));
    m_txtBuffer = makeTextBox(frame1, QStringLiteral("txtBuffer"), QStringLiteral("1024"),
                              QStringLiteral("Enter a Buffer Size"), rowBox(2), 4);
    auto* setBuffer = makeButton(frame1, QStringLiteral("cmdSetBuffer"), QStringLiteral("Set Buffer"),
                                 QStringLiteral("Click to set Comm Port Buffer"), frameButton());

    QGroupBox* frame2 =
        makeFrame(this, QStringLiteral("Frame2"), QStringLiteral("Modem Buffer"), {},
                  twipsRect(240 + kFrameWidth, 120, kFrameWidth, kFrameHeight), colours::frameCaption);
    makeLabel(frame2, QStringLiteral("Label6"), QStringLiteral("TX - Send Buffer"), rowLabel(0));
    m_cmbTx = makeEditableList(frame2, QStringLiteral("cmbTx"), kFifoNoPickText,
                               QStringLiteral("Select a Transmit Buffer Size"), rowBox(0));
    makeLabel(frame2, QStringLiteral("Label7"), QStringLiteral("RX - Receive Buffer"), rowLabel(1));
    m_cmbRx = makeEditableList(frame2, QStringLiteral("cmbRx"), kFifoNoPickText,
                               QStringLiteral("Select a Receive buffer size"), rowBox(1));
    auto* setFifo = makeButton(frame2, QStringLiteral("cmdSetFIFOBuff"), QStringLiteral("Set Buffers"),
                               QStringLiteral("Click to set Tx / Rx buffers"), frameButton());

    for (QWidget* box :
         {static_cast<QWidget*>(m_Text1), static_cast<QWidget*>(m_txtIRQ), static_cast<QWidget*>(m_txtBuffer),
          static_cast<QWidget*>(m_cmbTx), static_cast<QWidget*>(m_cmbRx)})
        colourBox(box);

    m_tips2 = makeTipsLabel(this, QStringLiteral("tips2"),
                            QStringLiteral("Tips: Read 'ModemTips.txt' for Tips / Help"),
                            twipsRect(150, 2910, 4500, 255));
    m_tip1 = makeTipsLabel(this, QStringLiteral("tip1"),
                           QStringLiteral("Tips: Read 'ComTips.txt' for Tips / Help"),
                           twipsRect(150, 3240, 4500, 255));

    setTabOrder(m_Text1, m_txtIRQ);
    setTabOrder(m_txtIRQ, m_txtBuffer);
    setTabOrder(m_txtBuffer, setBuffer);
    setTabOrder(setBuffer, m_cmbTx);
    setTabOrder(m_cmbTx, m_cmbRx);
    setTabOrder(m_cmbRx, setFifo);

    connect(setBuffer, &QPushButton::clicked, this, &Form5::cmdSetBuffer_Click);
    connect(setFifo, &QPushButton::clicked, this, &Form5::cmdSetFIFOBuff_Click);
}

void Form5::Form_Load()
{
    disableMainWindow();
    makeBold(m_tip1);
    makeBold(m_tips2);
    loadFifoSizes();
}

void Form5::Form_Unload()
{
    enableMainWindow();
}

void Form5::cmdSetBuffer_Click()
{
    MessageBoxes& boxes = m_context.messageBoxes;
    const QString port = m_Text1->text();
    const QString irq = m_txtIRQ->text();
    const QString buffer = m_txtBuffer->text();
    if (const std::optional<QString> refusal = portBufferRefusal(port, irq, buffer))
        return boxes.inform(*refusal, MsgIcon::Exclamation);
    if (!boxes.confirm(QStringLiteral("Are You Sure You Want To Set This Buffer?"), MsgIcon::Question))
        return;

    for (const IniEntry& entry : portBufferEntries(port, irq, buffer))
        if (mfncWriteIni(m_context.profiles, kPortBufferSection, entry.name, entry.value, kSystemIniPath) ==
            0)
            return reportSaveFailure(boxes, kSystemIniPath, m_context.profiles.lastError());
    boxes.inform(QStringLiteral("Buffer Was Set! You Should Restart to apply the Changes"));
}

void Form5::loadFifoSizes()
{
    const QStringList sizes = fifoListTexts();
    for (QComboBox* list : {m_cmbTx, m_cmbRx}) {
        const QString shown = list->currentText();
        list->addItems(sizes);
        list->setCurrentIndex(-1); // no size is picked until the user picks one
        list->setEditText(shown);
    }
    // A missing value reads as "0", which is no size of the list: the list keeps "Select Size".
    for (const auto& [list, valueName] : {std::pair{m_cmbTx, "TxFIFO"}, std::pair{m_cmbRx, "RxFIFO"}}) {
        const QString stored =
            readRegistryText(m_context, kSerialFifoKey, QString::fromLatin1(valueName), QStringLiteral("0"));
        if (const std::optional<QString> listText = fifoListTextForStoredText(stored))
            list->setEditText(*listText);
    }
}

void Form5::cmdSetFIFOBuff_Click()
{
    MessageBoxes& boxes = m_context.messageBoxes;
    const std::optional<QList<FifoWrite>> writes = fifoWrites(m_cmbTx->currentText(), m_cmbRx->currentText());
    if (!writes)
        return boxes.inform(QStringLiteral("You Must Select a Buffer Size!"), MsgIcon::Exclamation);
    // The first write that fails is reported and ends the handler: no later value is touched.
    for (const FifoWrite& write : *writes)
        if (!writeRegistryValue(m_context, write.keyPath, kNumberType, write.valueName, write.size))
            return;
    boxes.inform(QStringLiteral("Receive Buffer and Transmit Buffer have been set!"));
}

} // namespace velmora
