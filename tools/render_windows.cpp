// Renders every window of Velmora to a PNG file, on a freshly seeded machine of its own, and
// reports any text that does not fit its control. Used by tools/screenshots.sh.
//
//   velmora_screens OUTDIR      exit status 0: all rendered, nothing clipped;
//                               3: rendered, but something is clipped (listed on stderr)
#include "app/Artwork.h"
#include "app/Velmora.h"
#include "machine/MachineFolder.h"
#include "ui/MessageBoxes.h"
#include "ui/VbForm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

using velmora::MsgAnswer;
using velmora::MsgButtons;
using velmora::MsgIcon;

// Windows may ask questions while they load; the answer is always the cautious one.
class CautiousMessageBoxes : public velmora::MessageBoxes {
public:
    MsgAnswer show(const QString& text, MsgIcon, MsgButtons buttons) override
    {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
    }
};

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text;
}

// Where a control's text needs more room than the control has: "" when it fits.
QString clipping(const QWidget* widget)
{
    const auto need = [](QSize wanted, QSize has) {
        if (wanted.width() <= has.width() && wanted.height() <= has.height())
            return QString();
        return QStringLiteral("needs %1x%2, has %3x%4")
            .arg(wanted.width())
            .arg(wanted.height())
            .arg(has.width())
            .arg(has.height());
    };
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        if (label->text().isEmpty())
            return {};
        if (label->wordWrap()) {
            const int height = label->heightForWidth(label->width());
            return height > label->height() ? need({label->width(), height}, label->size()) : QString();
        }
        return need(label->sizeHint(), label->size());
    }
    // Buttons: the text's own ink decides, not the style's preferred size (which has a minimum
    // width and generous margins): the text and icon with a little room must fit.
    const auto ink = [](const QAbstractButton* button, int extraWidth) {
        const QString text = withoutMnemonic(button->text());
        const QFontMetrics metrics = button->fontMetrics();
        return QSize(metrics.horizontalAdvance(text) + extraWidth,
                     metrics.tightBoundingRect(text).height() + 2);
    };
    if (qobject_cast<const QCheckBox*>(widget) || qobject_cast<const QRadioButton*>(widget)) {
        const auto* box = static_cast<const QAbstractButton*>(widget);
        return need({box->sizeHint().width(), ink(box, 0).height()}, box->size());
    }
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        const int iconWidth = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        return need(ink(button, 6 + iconWidth), button->size());
    }
    if (const auto* frame = qobject_cast<const QGroupBox*>(widget)) {
        const int width = frame->fontMetrics().horizontalAdvance(withoutMnemonic(frame->title())) + 16;
        return need({width, 0}, frame->size());
    }
    return {};
}

bool showsText(const QWidget* widget)
{
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return !label->text().isEmpty();
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QLineEdit*>(widget);
}

// The part of a control its text and decoration take: a label or check box may be wider than
// its text, and what lies beside the text covers nothing.
QRect usedArea(const QWidget* widget)
{
    QRect area = widget->geometry();
    if (qobject_cast<const QLabel*>(widget) || qobject_cast<const QCheckBox*>(widget) ||
        qobject_cast<const QRadioButton*>(widget)) {
        const auto* label = qobject_cast<const QLabel*>(widget);
        if (!(label && label->wordWrap()))
            area.setWidth(std::min(area.width(), widget->sizeHint().width()));
    }
    // Touching edges are no overlap.
    return area.adjusted(1, 1, -1, -1);
}

// Every visible control of the window: its text fits, it lies inside its parent, and no other
// control with text covers it.
int reportClipping(const QWidget* window)
{
    int found = 0;
    const auto report = [&](const QWidget* widget, const QString& what) {
        std::fprintf(stderr, "CLIPPED %s/%s (%s): %s\n", qPrintable(window->objectName()),
                     qPrintable(widget->objectName()), widget->metaObject()->className(), qPrintable(what));
        ++found;
    };
    for (const QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(window) || widget->objectName().isEmpty() ||
            widget->objectName().startsWith(u'q'))
            continue; // the inner parts of Qt's own controls
        const QString text = clipping(widget);
        if (!text.isEmpty())
            report(widget, text);
        const QWidget* parent = widget->parentWidget();
        if (parent && !parent->rect().contains(widget->geometry()))
            report(widget, QStringLiteral("sticks out of %1").arg(parent->objectName()));
        if (!showsText(widget) || !parent)
            continue;
        // Each pair once: only the siblings created after this one.
        const QObjectList& siblings = parent->children();
        for (qsizetype i = siblings.indexOf(const_cast<QWidget*>(widget)) + 1; i < siblings.size(); ++i) {
            const auto* other = qobject_cast<const QWidget*>(siblings[i]);
            if (other && other->isVisibleTo(window) && showsText(other) &&
                usedArea(other).intersects(usedArea(widget)))
                report(widget, QStringLiteral("overlaps %1").arg(other->objectName()));
        }
    }
    return found;
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 2;
    }

    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("machine"));
    const velmora::Result<void> prepared = dir.isValid() ? velmora::MachineFolder(root).prepare()
                                                         : velmora::failure(QStringLiteral("no folder"));
    if (!prepared) {
        std::fprintf(stderr, "cannot prepare a machine: %s\n", qPrintable(prepared.reason()));
        return 2;
    }
    velmora::registerArtwork();
    CautiousMessageBoxes boxes;
    velmora::Velmora program(root, velmora::Edges{boxes}, dir.filePath(QStringLiteral("backups")));
    velmora::WindowRegistry& windows = program.windows();

    int clipped = 0;
    int failed = 0;
    const auto render = [&](QWidget* window, const QString& name) {
        settle();
        const QString file = out.filePath(name + QStringLiteral(".png"));
        if (!window->grab().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            ++failed;
            return;
        }
        std::printf("%s\n", qPrintable(file));
        clipped += reportClipping(window);
    };

    // The start as the user sees it: the splash, then the main window.
    program.start();
    if (QWidget* splash = windows.loaded(QStringLiteral("splash"))) {
        render(splash, QStringLiteral("splash"));
        splash->close();
    }
    QWidget* main = windows.loaded(QStringLiteral("Form1"));
    if (!main) {
        std::fprintf(stderr, "the main window did not load\n");
        return 2;
    }
    main->show();
    render(main, QStringLiteral("Form1"));

    // Every other window, one at a time, opened from the main window's state after its load.
    for (const char* name : {"frmAbout", "Form2", "Form3", "Form4", "Form5", "Form6"}) {
        const QString windowName = QString::fromLatin1(name);
        if (!windows.knows(windowName)) {
            std::fprintf(stderr, "%s: not part of this build\n", name);
            ++failed;
            continue;
        }
        QWidget* window = windows.show(windowName);
        if (!window || !windows.loaded(windowName)) {
            std::fprintf(stderr, "%s: did not open\n", name);
            ++failed;
            continue;
        }
        render(window, windowName);
        window->close();
        settle();
    }

    if (failed)
        return 2;
    if (clipped) {
        std::fprintf(stderr, "%d control(s) clipped\n", clipped);
        return 3;
    }
    return 0;
}
