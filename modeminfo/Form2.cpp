#include "modeminfo/Form2.h"

#include "config/Module2.h"
#include "files/AtomicFile.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/SaveAsDialog.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace velmora {
namespace {

constexpr int kLeftColumnRows = 19;
constexpr int kRowPitch = 240;
constexpr int kLabelHeight = 195;

QRect labelPlace(int row)
{
    const bool left = row < kLeftColumnRows;
    const int top = 120 + kRowPitch * (left ? row : row - kLeftColumnRows);
    return twipsRect(left ? 120 : 5520, top, 0, kLabelHeight);
}

// A label sized to its text, as the window's labels size themselves.
void fitToText(QLabel* label)
{
    const QSize hint = label->sizeHint();
    label->resize(hint.width(), std::max(twips(kLabelHeight), hint.height()));
}

} // namespace

QString& Form2::strRegValue = velmora::strRegValue;

Form2::Form2(AppContext& context) : VbForm(context)
{
    setUpFixedWindow(this, QStringLiteral("Velmora - Modem Info"), 10875, 5925);

    for (int row = 0; row < kModemInfoRowCount; ++row) {
        m_labels[row] = makeLabel(this, QStringLiteral("Label%1").arg(row + 1), QString(), labelPlace(row));
        m_labels[row]->setTextFormat(Qt::PlainText); // registry text is shown as it is, never as markup
    }

    auto* save = makeButton(this, QStringLiteral("Command1"), QStringLiteral("Save to File"),
                            QStringLiteral("Click to save this information to a file"),
                            twipsRect(9000, 5400, 1815, 375));
    connect(save, &QPushButton::clicked, this, &Form2::Command1_Click);
}

void Form2::Form_Load()
{
    const QStringList lines = modemReportLines(m_context.registryValues);
    for (int row = 0; row < kModemInfoRowCount; ++row) {
        m_labels[row]->setText(lines[row]);
        fitToText(m_labels[row]);
    }
}

void Form2::Command1_Click()
{
    const std::optional<QString> fileName = m_context.saveAs.askForFile(QStringLiteral("*.txt"));
    if (!fileName)
        return;

    // The report is what the window shows, not a fresh reading.
    QStringList lines;
    for (const QLabel* label : m_labels)
        lines.append(label->text());

    if (const Result<void> written = writeFileAtomically(*fileName, modemReportBytes(lines)); !written) {
        m_context.messageBoxes.show(
            QStringLiteral("The report could not be saved.\n%1: %2").arg(*fileName, written.reason()),
            MsgIcon::Critical, MsgButtons::Ok);
        return;
    }
    m_context.messageBoxes.inform(QStringLiteral("Information has been saved to ") + *fileName);
}

} // namespace velmora
