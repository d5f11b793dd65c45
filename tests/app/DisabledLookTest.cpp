#include "buffers/Form5.h"

#include "support/WindowTest.h"
#include "ui/Look.h"

#include <QGuiApplication>
#include <QStyleOption>

namespace velmora {
namespace {

using DisabledLookTest = testing::WindowTest;

// The colour the style draws a control's text with, in the state the control is in: the
// palette the widget really uses, in the colour group its state selects.
QColor drawnColour(const QWidget* widget, QPalette::ColorRole role)
{
    QStyleOption option;
    option.initFrom(widget);
    return option.palette.color(role);
}

// A control that takes input keeps its colours while enabled and takes the platform's grey text
// when disabled: one control of each look, the main window's held off by a settings window, and
// the boxes drawn yellow on grey, which the program never disables, by hand.
TEST_F(DisabledLookTest, DisabledControlsAreDrawnGrey)
{
    const QPalette platform = QGuiApplication::palette();
    ASSERT_NE(platform.color(QPalette::Disabled, QPalette::ButtonText),
              platform.color(QPalette::Active, QPalette::ButtonText))
        << "the platform draws disabled buttons as enabled ones";
    const struct {
        const char* control;
        QPalette::ColorRole role;
        QColor enabledColour;
    } mainControls[] = {
        {"cmdBandwidth", QPalette::ButtonText, platform.color(QPalette::Active, QPalette::ButtonText)},
        {"optMTU_0", QPalette::WindowText, colours::label},
        {"txtMaxInst", QPalette::Text, platform.color(QPalette::Active, QPalette::Text)},
    };
    ASSERT_NE(mainWindow(), nullptr);
    for (const auto& c : mainControls)
        EXPECT_EQ(drawnColour(control(c.control), c.role), c.enabledColour) << c.control;
    ASSERT_NE(openFrom<Form5>("cmdCustomBufferSet"), nullptr);
    for (const auto& c : mainControls)
        EXPECT_EQ(drawnColour(control(c.control, mainWindow()), c.role),
                  platform.color(QPalette::Disabled, c.role))
            << c.control;
    QWidget* list = control("cmbTx");
    EXPECT_EQ(drawnColour(list, QPalette::Text), colours::label);
    list->setEnabled(false);
    EXPECT_EQ(drawnColour(list, QPalette::Text), platform.color(QPalette::Disabled, QPalette::Text));
}

} // namespace
} // namespace velmora
