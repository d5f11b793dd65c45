#pragma once

#include <QColor>
#include <QRect>
#include <QString>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

namespace velmora {

class ClickablePicture;

// The windows are laid out in twips, 15 to a pixel.
constexpr int twips(int value)
{
    return (value + 7) / 15;
}
inline QRect twipsRect(int left, int top, int width, int height)
{
    return {twips(left), twips(top), twips(width), twips(height)};
}

namespace colours {
inline const QColor background = Qt::black;
inline const QColor label = QColor(0xFF, 0xFF, 0x00);
inline const QColor tips = QColor(0xFF, 0x00, 0x00);
inline const QColor frameCaption = QColor(0x00, 0xFF, 0x00);
inline const QColor box = QColor(0xC0, 0xC0, 0xC0);
} // namespace colours

// A top-level window with a fixed single border, a close box only, a black background and
// the given client size, centred on the screen.
void setUpFixedWindow(QWidget* window, const QString& caption, int clientWidthTwips, int clientHeightTwips);
// The same without border or title bar (splash, About box).
void setUpBorderlessWindow(QWidget* window, const QString& caption, QSize size);
void centreOnScreen(QWidget* window);

// Controls with their objectName, text, tooltip and place. A label grows to the width of
// its text when the text would not fit, so nothing is ever clipped.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect place,
                  const QColor& colour = colours::label);
QLabel* makeTipsLabel(QWidget* parent, const QString& name, const QString& text, QRect place);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                        QRect place);
QComboBox* makeEditableList(QWidget* parent, const QString& name, const QString& text, const QString& tooltip,
                            QRect place);
QLineEdit* makeTextBox(QWidget* parent, const QString& name, const QString& text, const QString& tooltip,
                       QRect place, int maxLength = 0);
QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                        QRect place);
QRadioButton* makeOption(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                         QRect place);
QGroupBox* makeFrame(QWidget* parent, const QString& name, const QString& caption, const QString& tooltip,
                     QRect place, const QColor& captionColour = colours::label);
ClickablePicture* makePicture(QWidget* parent, const QString& name, const QString& resource, QRect place,
                              const QString& tooltip = {});
// A label whose text wraps within the given width; it grows downwards to hold every line.
QLabel* makeWrappedLabel(QWidget* parent, const QString& name, const QString& text, QRect place,
                         const QColor& colour = colours::label);
// A horizontal rule (the line control).
QFrame* makeLine(QWidget* parent, const QString& name, QRect place, const QColor& colour = colours::label);

// Text boxes and lists of the windows that draw their boxes yellow on grey; disabled, they take
// the platform's disabled colours as every control that takes input does.
void colourBox(QWidget* box, const QColor& text = colours::label, const QColor& background = colours::box);

// The program's font: a sans serif of 8 points with the letter widths the layouts were drawn
// for. Applied once for the whole application before any window is built.
void useProgramFont();

// Bold, and optionally a point size, as the tips labels get at load.
void makeBold(QWidget* widget, int pointSize = 0);

} // namespace velmora
