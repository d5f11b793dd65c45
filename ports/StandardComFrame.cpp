#include "ports/StandardComFrame.h"

#include "config/IniHelpers.h"
#include "ports/PortEntry.h"
#include "profile/ProfileWriter.h"
#include "profile/SequentialInput.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/SaveFailure.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

namespace velmora {
namespace {

const QString kPortPrompt = QStringLiteral("Select a Comm Port");

// Rows of label and list, top to bottom, inside the frame (pixels).
constexpr int kLabelLeft = 150, kListLeft = 1950, kListWidth = 2700, kFirstRow = 675, kRowPitch = 375;

QRect rowLabel(int row)
{
    return twipsRect(kLabelLeft, kFirstRow + row * kRowPitch + 30, 1725, 255);
}
QRect rowList(int row)
{
    return twipsRect(kListLeft, kFirstRow + row * kRowPitch, kListWidth, 330);
}

// Keeps windows painted and timers running while a long file is read, without letting the
// user pick again or press Apply in the middle of the reading.
class ReadingPause {
public:
    ReadingPause() { m_sinceEvents.start(); }
    void operator()()
    {
        // Looking at the clock costs more than skipping an item; look every 256 items.
        if ((++m_items & 0xFF) != 0 || m_sinceEvents.elapsed() < 15)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_sinceEvents.restart();
    }

private:
    QElapsedTimer m_sinceEvents;
    unsigned m_items = 0;
};

} // namespace

StandardComFrame::StandardComFrame(AppContext& context, QWidget* parent)
    : QGroupBox(parent), m_context(context)
{
    setObjectName(QStringLiteral("Frame1"));
    makeLabel(this, QStringLiteral("Label7"), QStringLiteral("Select a Comm Port to Tweak"),
              twipsRect(150, 330, 2250, 255));
    m_cmbCommPorts =
        makeEditableList(this, QStringLiteral("cmbCommPorts"), kPortPrompt,
                         QStringLiteral("Select a Comm Port to Edit"), twipsRect(2550, 270, 2100, 330));

    const struct {
        const char* label;
        const char* labelText;
        const char* list;
        const char* tooltip;
        QComboBox** member;
    } rows[] = {
        {"Label1", "Bits Per Second", "comBps", "Select a BitsPer Second Rate", &m_comBps},
        {"Label2", "Parity", "comParity", "Select a Parity (Error Checking) Method", &m_comParity},
        {"Label3", "Data Bits", "comData", "Select Data Bit size", &m_comData},
        {"Label4", "Stop Bits", "comStop", "Select Stop Bit Size", &m_comStop},
        {"Label5", "Flow Control", "comFlow", "Select Flow Control Method", &m_comFlow},
    };
    int row = 0;
    for (const auto& r : rows) {
        makeLabel(this, QString::fromLatin1(r.label), QString::fromLatin1(r.labelText), rowLabel(row));
        *r.member = makeEditableList(this, QString::fromLatin1(r.list), QString(),
                                     QString::fromLatin1(r.tooltip), rowList(row));
        ++row;
    }

    m_cmdApplyCom = makeButton(
        this, QStringLiteral("cmdApplyCom"), QStringLiteral("Apply Changes to Com Port Settings"),
        QStringLiteral("Click here to apply changes you have made"), twipsRect(150, 2580, 4500, 390));
    m_cmdApplyCom->setEnabled(false);
    m_tip1 = makeTipsLabel(this, QStringLiteral("tip1"),
                           QStringLiteral("Tips: Read 'ComTips.txt' for Tips / Help"),
                           twipsRect(150, 3120, 3750, 255));
    makePicture(this, QStringLiteral("Image6"), QStringLiteral(":/icons/port.png"),
                twipsRect(4215, 2940, 480, 480));

    connect(m_cmbCommPorts, &QComboBox::activated, this, &StandardComFrame::cmbCommPorts_Click);
    connect(m_cmdApplyCom, &QPushButton::clicked, this, &StandardComFrame::cmdApplyCom_Click);
}

void StandardComFrame::fillLists()
{
    const auto fill = [](QComboBox* list, const QStringList& items) {
        const QString text = list->currentText();
        list->addItems(items);
        list->setEditText(text); // adding items must not change what the box shows
    };
    fill(m_cmbCommPorts, {QStringLiteral("Com Port 1"), QStringLiteral("Com Port 2"),
                          QStringLiteral("Com Port 3"), QStringLiteral("Com Port 4")});
    fill(m_comBps,
         {QStringLiteral("110"), QStringLiteral("300"), QStringLiteral("1200"), QStringLiteral("2400"),
          QStringLiteral("4800"), QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
          QStringLiteral("57600"), QStringLiteral("115200"), QStringLiteral("230400"),
          QStringLiteral("460800"), QStringLiteral("921600")});
    fill(m_comParity, {QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd"),
                       QStringLiteral("Mark"), QStringLiteral("Space")});
    fill(m_comData, {QStringLiteral("1"), QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                     QStringLiteral("7"), QStringLiteral("8")});
    fill(m_comStop, {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    fill(m_comFlow, {QStringLiteral("None"), QStringLiteral("Hardware"), QStringLiteral("Xon / Xoff")});
}

void StandardComFrame::cmbCommPorts_Click()
{
    if (const std::optional<QString> key = portKeyForName(m_cmbCommPorts->currentText())) {
        m_strComPort = *key;
        m_cmdApplyCom->setEnabled(true);
    }

    // A file that cannot be read is a port without an entry.
    PortEntry entry;
    if (Result<SequentialInput> input = SequentialInput::open(m_context.machine, kWinIniPath)) {
        ReadingPause pause;
        entry = readPortEntry(*input, m_strComPort, std::ref(pause));
    }

    m_comBps->setEditText(entry.rate);
    m_comParity->setEditText(parityTextForLetter(entry.parity));
    m_comData->setEditText(entry.data);
    m_comStop->setEditText(entry.stop);
    m_comFlow->setEditText(flowTextForLetter(entry.flow));
}

void StandardComFrame::cmdApplyCom_Click()
{
    MessageBoxes& boxes = m_context.messageBoxes;
    const QString portText = m_cmbCommPorts->currentText();
    if (const std::optional<QString> key = portKeyForName(portText))
        m_strComPort = *key;
    else if (portText == kPortPrompt)
        return boxes.inform(QStringLiteral("You Must Select a Comm Port!"), MsgIcon::Exclamation);

    const Result<PortEntry> entry =
        portEntryFromListTexts({m_comBps->currentText(), m_comParity->currentText(), m_comData->currentText(),
                                m_comStop->currentText(), m_comFlow->currentText()});
    if (!entry)
        return boxes.inform(entry.reason(), MsgIcon::Exclamation);
    if (mfncWriteIni(m_context.profiles, kPortsSection, m_strComPort, joinPortEntry(*entry), kWinIniPath) ==
        0)
        return reportSaveFailure(boxes, kWinIniPath, m_context.profiles.lastError());
    boxes.inform(QStringLiteral("Comm Settings have Been Changed!"));
}

} // namespace velmora
