#include "ports/StandardComFrame.h"

#include "config/IniHelpers.h"
#include "platform/MessageBoxes.h"
#include "platform/ProfileWriter.h"
#include "platform/SequentialInput.h"
#include "ports/PortEntry.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/SaveFailure.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

namespace velmora {
namespace {

const QString kWinIni = QStringLiteral("c:\\windows\\win.ini");
const QString kPortsSection = QStringLiteral("Ports");
const QString kPortPrompt = QStringLiteral("Select a Comm Port");

// Rows of label and list, top to bottom, inside the frame (pixels).
constexpr int kLabelLeft = 10, kListLeft = 130, kListWidth = 180, kFirstRow = 45, kRowPitch = 25;

QRect rowLabel(int row)
{
    return {kLabelLeft, kFirstRow + row * kRowPitch + 2, 115, 17};
}
QRect rowList(int row)
{
    return {kListLeft, kFirstRow + row * kRowPitch, kListWidth, 22};
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
              {10, 22, 150, 17});
    m_cmbCommPorts = makeEditableList(this, QStringLiteral("cmbCommPorts"), kPortPrompt,
                                      QStringLiteral("Select a Comm Port to Edit"), {170, 18, 140, 22});

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

    m_cmdApplyCom =
        makeButton(this, QStringLiteral("cmdApplyCom"), QStringLiteral("Apply Changes to Com Port Settings"),
                   QStringLiteral("Click here to apply changes you have made"), {10, 172, 300, 26});
    m_cmdApplyCom->setEnabled(false);
    m_tip1 = makeTipsLabel(this, QStringLiteral("tip1"),
                           QStringLiteral("Tips: Read 'ComTips.txt' for Tips / Help"), {10, 208, 250, 17});
    makePicture(this, QStringLiteral("Image6"), QStringLiteral(":/icons/port.png"), {281, 196, 32, 32});

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
    if (std::optional<SequentialInput> input = SequentialInput::open(m_context.machine, kWinIni)) {
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
    const auto refuse = [&](const char* text) {
        boxes.inform(QString::fromLatin1(text), MsgIcon::Exclamation);
    };

    const QString portText = m_cmbCommPorts->currentText();
    if (const std::optional<QString> key = portKeyForName(portText))
        m_strComPort = *key;
    else if (portText == kPortPrompt)
        return refuse("You Must Select a Comm Port!");

    PortEntry entry;
    if ((entry.rate = m_comBps->currentText()).isEmpty())
        return refuse("Must Select a Bit Rate");
    if (m_comParity->currentText().isEmpty())
        return refuse("Must Select a Parity");
    entry.parity = parityLetterForText(m_comParity->currentText());
    if ((entry.data = m_comData->currentText()).isEmpty())
        return refuse("Must Select a Data Bit");
    if ((entry.stop = m_comStop->currentText()).isEmpty())
        return refuse("Must Select a Stop Bit");
    if (m_comFlow->currentText().isEmpty())
        return refuse("Must Select a Flow Control");
    entry.flow = flowLetterForText(m_comFlow->currentText());

    if (mfncWriteIni(m_context.profiles, kPortsSection, m_strComPort, joinPortEntry(entry), kWinIni) == 0)
        return reportSaveFailure(boxes, kWinIni, m_context.profiles.lastError());
    boxes.inform(QStringLiteral("Comm Settings have Been Changed!"));
}

} // namespace velmora
