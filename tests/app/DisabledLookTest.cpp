#include "buffers/Form5.h"
#include "tweaks/Form4.h"

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

// A disabled control takes the platform's grey text, whatever colours it has while enabled;
// an enabled one keeps them. Disabled by the program (cmdApplyCom at start, Form4's buttons when
// the command is stored), by a window that holds the main window off, or, for the boxes drawn
// yellow on grey that the program never disables, by hand.
TEST_F(DisabledLookTest, DisabledControlsAreDrawnGrey)
{
    const QPalette platform = QGuiApplication::palette();
    ASSERT_NE(platform.color(QPalette::Disabled, QPalette::ButtonText),
              platform.color(QPalette::Active, QPalette::ButtonText))
        << "the platform draws disabled buttons as enabled ones";
    const struct {
        const char* name;
        const char* opens; // the main window's button that opens the window first; null: none
        const char* in;    // the window that holds the control
        const char* control;
        QPalette::ColorRole role;
        bool disabledByHand;
        std::optional<QColor> enabledColour; // nothing: disabled
    } cases[] = {
        {"apply button at start", nullptr, "Form1", "cmdApplyCom", QPalette::ButtonText, false, std::nullopt},
        {"Set button with the command stored", "cmdCustomModemSet", "Form4", "Command1", QPalette::ButtonText,
         false, std::nullopt},
        {"main button under a settings window", "cmdCustomModemSet", "Form1", "cmdBandwidth",
         QPalette::ButtonText, false, std::nullopt},
        {"main option under a settings window", "cmdCustomModemSet", "Form1", "optMTU_0",
         QPalette::WindowText, false, std::nullopt},
        {"main text box under a settings window", "cmdCustomModemSet", "Form1", "txtMaxInst", QPalette::Text,
         false, std::nullopt},
        {"yellow-on-grey list", "cmdCustomBufferSet", "Form5", "cmbTx", QPalette::Text, true, std::nullopt},
        {"enabled button", nullptr, "Form1", "cmdBandwidth", QPalette::ButtonText, false,
         platform.color(QPalette::Active, QPalette::ButtonText)},
        {"enabled option", nullptr, "Form1", "optMTU_0", QPalette::WindowText, false, colours::label},
        {"enabled yellow-on-grey list", "cmdCustomBufferSet", "Form5", "cmbTx", QPalette::Text, false,
         colours::label},
    };
    machine.writeRegistry("[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\"
                          "Settings\\Init]\r\n\"2\"=\"AT%C0\"\r\n");
    WindowRegistry& windows = machine.app().windows();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(mainWindow(), nullptr);
        if (c.opens)
            click(c.opens);
        QWidget* holder = windows.loaded(c.in);
        ASSERT_NE(holder, nullptr);
        QWidget* control = holder->findChild<QWidget*>(c.control);
        ASSERT_NE(control, nullptr);
        if (c.disabledByHand)
            control->setEnabled(false);
        EXPECT_EQ(control->isEnabled(), c.enabledColour.has_value());
        EXPECT_EQ(drawnColour(control, c.role),
                  c.enabledColour.value_or(platform.color(QPalette::Disabled, c.role)));
        for (QWidget* opened : {windows.loaded("Form4"), windows.loaded("Form5")})
            if (opened)
                opened->close();
        EXPECT_TRUE(mainWindow()->close()); // the next row starts afresh
    }
}

} // namespace
} // namespace velmora
