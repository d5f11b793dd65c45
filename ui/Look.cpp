#include "ui/Look.h"

#include "ui/ClickablePicture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QValidator>

#include <algorithm>

namespace velmora {
namespace {

void setColours(QWidget* widget, const QColor& text, const QColor& background)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Base, background);
    widget->setPalette(palette);
}

void setBlackBackground(QWidget* window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, colours::background);
    palette.setColor(QPalette::WindowText, colours::label);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

// A control that takes input has this colour while it is enabled, in active and inactive
// windows alike; disabled, it has the platform's own colour for the role, so it looks disabled
// (grey text) as the platform's controls do. Labels and frames take no input and keep theirs.
void setColourWhileEnabled(QPalette& palette, QPalette::ColorRole role, const QColor& colour)
{
    palette.setColor(QPalette::Active, role, colour);
    palette.setColor(QPalette::Inactive, role, colour);
    palette.setColor(QPalette::Disabled, role, QGuiApplication::palette().color(QPalette::Disabled, role));
}

// Check boxes and option buttons: the caption in the window's colours, the indicator the
// platform's white box with a black mark, so it stays visible on the black background.
void setIndicatorColours(QWidget* widget)
{
    QPalette palette = widget->palette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText})
        setColourWhileEnabled(palette, role, colours::label);
    setColourWhileEnabled(palette, QPalette::Base, Qt::white);
    setColourWhileEnabled(palette, QPalette::Text, Qt::black);
    palette.setColor(QPalette::Window, colours::background);
    widget->setPalette(palette);
}

// Buttons keep the platform's own colours, whatever window or frame they sit in, in every
// state: a disabled button is drawn as the platform draws one.
void setStandardButtonColours(QWidget* button)
{
    const QPalette standard = QGuiApplication::palette();
    QPalette palette = button->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        for (const QPalette::ColorRole role : {QPalette::Button, QPalette::ButtonText})
            palette.setColor(group, role, standard.color(group, role));
    button->setPalette(palette);
}

// Widens a control whose text would not fit its given width.
void fitWidth(QWidget* widget, QRect place)
{
    const int wanted = widget->sizeHint().width();
    if (wanted > place.width())
        place.setWidth(wanted);
    widget->setGeometry(place);
}

// Check boxes and option buttons react only to clicks on their box and caption: the control
// is exactly as wide as those, so no part of it ignores the user.
void fitToText(QWidget* widget, QRect place)
{
    place.setWidth(widget->sizeHint().width());
    widget->setGeometry(place);
}

// A text box's maximum length as the original controls had it: it stops the user's typing
// and pasting, but a text the program sets is shown whole (QLineEdit::setMaxLength would cut
// a longer stored value, which the next write would then store cut).
class TypedLengthLimit : public QValidator {
public:
    TypedLengthLimit(QLineEdit* box, int maxLength) : QValidator(box), m_maxLength(maxLength)
    {
        QObject::connect(box, &QLineEdit::textChanged, this,
                         [this](const QString& text) { m_currentLength = text.size(); });
        m_currentLength = box->text().size();
    }

    // An edit may leave the text at most as long as the limit, or as long as it already was.
    State validate(QString& input, int&) const override
    {
        return input.size() <= std::max<qsizetype>(m_maxLength, m_currentLength) ? Acceptable : Invalid;
    }

private:
    int m_maxLength;
    qsizetype m_currentLength = 0;
};

// An editable list as the platform has it. Its activated() signal, the windows' Click, means
// only that the user chose an item from the list, with the mouse or the arrow keys.
class EditableList : public QComboBox {
public:
    explicit EditableList(QWidget* parent) : QComboBox(parent)
    {
        setEditable(true);
        setInsertPolicy(NoInsert);
        setCompleter(nullptr); // what the user types is exactly the list's text
        // Qt takes typed text that matches an item as a choice of that item when the typing
        // ends, with Enter or by leaving the box, and raises activated(). Typing is never a pick.
        disconnect(lineEdit(), &QLineEdit::returnPressed, this, nullptr);
        disconnect(lineEdit(), &QLineEdit::editingFinished, this, nullptr);
    }

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        selectShownItem(*event);
        QComboBox::keyPressEvent(event);
    }

private:
    // The platform's list keeps its selection on the item the box shows, and on none while the
    // box shows a prompt, typed text or nothing; the arrow keys move on from there, so Down from
    // a prompt gives the first item. Qt would move on from the item last chosen instead.
    void selectShownItem(const QKeyEvent& key)
    {
        if (key.modifiers() & (Qt::AltModifier | Qt::ControlModifier))
            return; // opening the list, or the box's own keys
        const bool down = key.key() == Qt::Key_Down || key.key() == Qt::Key_PageDown;
        const bool up = key.key() == Qt::Key_Up || key.key() == Qt::Key_PageUp;
        const int shown = findText(currentText());
        if ((!down && !up) || shown == currentIndex())
            return;
        // With no item shown only Down has somewhere to go: the first item, which then takes
        // the place of the text.
        if (shown < 0 && (up || count() == 0))
            return;
        const QSignalBlocker quiet(this);
        setCurrentIndex(shown);
    }
};

// A caption on the window's black, in the given colour; the caller places it.
QLabel* newLabel(QWidget* parent, const QString& name, const QString& text, const QColor& colour)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    setColours(label, colour, colours::background);
    label->setAttribute(Qt::WA_TranslucentBackground);
    return label;
}

} // namespace

void useProgramFont()
{
    QFont font(QStringLiteral("Nimbus Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    QApplication::setFont(font);
}

void centreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void setUpFixedWindow(QWidget* window, const QString& caption, int clientWidthTwips, int clientHeightTwips)
{
    window->setWindowTitle(caption);
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    window->setFixedSize(twips(clientWidthTwips), twips(clientHeightTwips));
    setBlackBackground(window);
    centreOnScreen(window);
}

void setUpBorderlessWindow(QWidget* window, const QString& caption, QSize size)
{
    window->setWindowTitle(caption);
    window->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    window->setFixedSize(size);
    setBlackBackground(window);
    centreOnScreen(window);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect place,
                  const QColor& colour)
{
    QLabel* label = newLabel(parent, name, text, colour);
    fitWidth(label, place);
    return label;
}

QLabel* makeTipsLabel(QWidget* parent, const QString& name, const QString& text, QRect place)
{
    QLabel* label = makeLabel(parent, name, text, place, colours::tips);
    makeBold(label);
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                        QRect place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setToolTip(tooltip);
    button->setAutoDefault(false);
    setStandardButtonColours(button);
    fitWidth(button, place);
    return button;
}

QComboBox* makeEditableList(QWidget* parent, const QString& name, const QString& text, const QString& tooltip,
                            QRect place)
{
    auto* list = new EditableList(parent);
    list->setObjectName(name);
    list->setToolTip(tooltip);
    list->setEditText(text);
    list->setGeometry(place);
    return list;
}

QLineEdit* makeTextBox(QWidget* parent, const QString& name, const QString& text, const QString& tooltip,
                       QRect place, int maxLength)
{
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setToolTip(tooltip);
    if (maxLength > 0)
        box->setValidator(new TypedLengthLimit(box, maxLength));
    box->setGeometry(place);
    return box;
}

namespace {

// A check box or option button: yellow caption, a box that shows on black, no dead area.
template <typename Toggle>
Toggle* makeToggle(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                   QRect place)
{
    auto* toggle = new Toggle(caption, parent);
    toggle->setObjectName(name);
    toggle->setToolTip(tooltip);
    setIndicatorColours(toggle);
    fitToText(toggle, place);
    return toggle;
}

} // namespace

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                        QRect place)
{
    return makeToggle<QCheckBox>(parent, name, caption, tooltip, place);
}

QRadioButton* makeOption(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                         QRect place)
{
    return makeToggle<QRadioButton>(parent, name, caption, tooltip, place);
}

QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                     QRect place, const QColor& captionColour)
{
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(name);
    frame->setToolTip(tooltip);
    setColours(frame, captionColour, colours::background);
    frame->setGeometry(place);
    return frame;
}

ClickablePicture* makePicture(QWidget* parent, const QString& name, const QString& resource, QRect place,
                              const QString& tooltip)
{
    auto* picture = new ClickablePicture(parent);
    picture->setObjectName(name);
    picture->setPictureFile(resource);
    picture->setToolTip(tooltip);
    picture->setGeometry(place);
    return picture;
}

QLabel* makeWrappedLabel(QWidget* parent, const QString& name, const QString& text, QRect place,
                         const QColor& colour)
{
    QLabel* label = newLabel(parent, name, text, colour);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place.setHeight(std::max(place.height(), label->heightForWidth(place.width())));
    label->setGeometry(place);
    return label;
}

QFrame* makeLine(QWidget* parent, const QString& name, QRect place, const QColor& colour)
{
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setLineWidth(1);
    QPalette palette = line->palette();
    palette.setColor(QPalette::WindowText, colour);
    line->setPalette(palette);
    line->setGeometry(place);
    return line;
}

void colourBox(QWidget* box, const QColor& text, const QColor& background)
{
    QPalette palette = box->palette();
    for (const QPalette::ColorRole role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        setColourWhileEnabled(palette, role, text);
    for (const QPalette::ColorRole role : {QPalette::Base, QPalette::Button})
        setColourWhileEnabled(palette, role, background);
    box->setPalette(palette);
}

void makeBold(QWidget* widget, int pointSize)
{
    QFont font = widget->font();
    font.setBold(true);
    if (pointSize > 0)
        font.setPointSize(pointSize);
    widget->setFont(font);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        QRect place = label->geometry();
        if (label->sizeHint().width() > place.width())
            place.setWidth(label->sizeHint().width());
        label->setGeometry(place);
    }
}

} // namespace velmora
