#include "bandwidth/Form6.h"

#include "profile/SettingsStore.h"
#include "ui/AppContext.h"
#include "ui/Look.h"
#include "ui/MessageBoxes.h"
#include "ui/SaveFailure.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <optional>

namespace velmora {
namespace {

const QString kApp = QStringLiteral("Velmora");
const QString kSection = QStringLiteral("Settings");
const QString kKey = QStringLiteral("DiduvazovAdiru");
// The last paragraph, and the question "Set" asks.
const QString kWarning =
    QStringLiteral("WARNING!!!!: This option may not work on your modem! Infact, it may Damage "
                   "your modem by overloading it, and it may overheat!");

constexpr int kWidth = 420, kMargin = 10, kGap = 10;

// The stored preference as a whole number; nothing for a text that is not one.
std::optional<qlonglong> wholeNumber(const QString& text)
{
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok, 10);
    return ok ? std::optional<qlonglong>(number) : std::nullopt;
}

} // namespace

Form6::Form6(AppContext& context) : VbForm(context)
{
    m_check1 = makeCheckBox(this, QStringLiteral("Check1"), QStringLiteral("Vidozoved Adize "),
                            QStringLiteral("Check to turn Diduvazov Adiru ON / Uncheck to turn it OFF"),
                            {kMargin, 12, 200, 20});
    auto* set = makeButton(this, QStringLiteral("Command1"), QStringLiteral("Set"),
                           QStringLiteral("Click to change settings"), {kWidth - kMargin - 80, 9, 80, 26});

    // The three paragraphs stack under each other at whatever height their wrapped text needs.
    const struct {
        const char* name;
        QString text;
        QColor colour;
    } paragraphs[] = {
        {"Label1",
         QStringLiteral(
             "Diduvazov Adiru is a very good way to help speed connections. It will watch the server(s) "
             "you are on, when someone disconnects from that server, Diduvazov Adiru will capture the "
             "bandwidth that user was using and add it to the bandwidth you are currently using."),
         colours::label},
        {"Label2",
         QStringLiteral(
             "NOTE: Some Servers will not allow this! You may be disconnected! Also, this does not work "
             "100% of the time! More like 23%! This is not always the best way! You should have a "
             "\"UART 16550 Chip\""),
         QColor(Qt::white)},
        {"Label3", kWarning, colours::tips},
    };
    int top = 44;
    for (const auto& paragraph : paragraphs) {
        const QLabel* label = makeWrappedLabel(this, QString::fromLatin1(paragraph.name), paragraph.text,
                                               {kMargin, top, kWidth - 2 * kMargin, 17}, paragraph.colour);
        top = label->geometry().bottom() + 1 + kGap;
    }

    setUpFixedWindow(this, QStringLiteral("Velmora - Bandwidth Settings"), kWidth * 15,
                     (top - kGap + kMargin) * 15);

    setTabOrder(m_check1, set);

    connect(m_check1, &QCheckBox::clicked, this, &Form6::Check1_Click);
    connect(set, &QPushButton::clicked, this, &Form6::Command1_Click);
}

void Form6::Form_Load()
{
    disableMainWindow();
    const QString off = QStringLiteral("0");
    const QString stored = m_context.settings.GetSetting(kApp, kSection, kKey, off);
    // Only 1 means on; 0, any other number and a text that is no number leave the box clear.
    m_check1->setChecked(wholeNumber(stored) == 1);
}

void Form6::Form_Unload()
{
    enableMainWindow();
}

void Form6::Check1_Click()
{
    m_context.messageBoxes.inform(
        QStringLiteral("I Hope you have read ALL of the text in this window!!!!!!!!"), MsgIcon::Critical);
}

void Form6::Command1_Click()
{
    MessageBoxes& boxes = m_context.messageBoxes;
    if (boxes.confirm(kWarning, MsgIcon::Critical)) {
        if (savePreference(QStringLiteral("1")))
            boxes.inform(QStringLiteral("Diduvazov Adiru has been turned on!"));
        return;
    }
    if (!savePreference(QStringLiteral("0")))
        return;
    boxes.inform(QStringLiteral("No changes were made!"));
    m_check1->setChecked(false);
}

bool Form6::savePreference(const QString& setting)
{
    const Result<void> saved = m_context.settings.SaveSetting(kApp, kSection, kKey, setting);
    if (!saved)
        reportSaveFailure(m_context.messageBoxes, QStringLiteral("Velmora settings"), saved.reason());
    return saved.ok();
}

} // namespace velmora
