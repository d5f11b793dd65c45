#include "support/WindowTest.h"

#include <QWindow>

namespace velmora {
namespace {

using Form1Test = testing::WindowTest;

// Each button loads its window once (pressed again, it only shows it) under its caption, the window holds the
// main window off while open if it should (it cannot even be closed), and closing it leaves the
// main window usable and closable; each is transient for the main window. Opening is one
// mechanism, but each settings window holds the main window off itself, hence a row for each.
TEST_F(Form1Test, EachButtonOpensItsWindowOnceAndItCloses)
{
    const struct {
        const char *button, *form, *caption;
        bool holdsMainWindowOff;
    } cases[] = {{"Command1", "frmAbout", "About Velmora", false},
                 {"cmdModemInfo", "Form2", "Velmora - Modem Info", false},
                 {"cmdCustomCommSet", "Form3", "Velmora- Com Settings", true},
                 {"cmdCustomModemSet", "Form4", "Velmora - Modem Settings", true},
                 {"cmdCustomBufferSet", "Form5", "Velmora - Advanced Buffer Settings", true},
                 {"cmdBandwidth", "Form6", "Velmora - Bandwidth Settings", true}};
    WindowRegistry& windows = machine.app().windows();
    expectLayout(mainWindow(), "Form1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        pick("cmbCommPorts", "Com Port 1"); // the port settings open only with a port picked
        EXPECT_EQ(mainWindow()->windowTitle(), "Velmora 1.2");
        click(c.button);
        QWidget* form = windows.loaded(c.form);
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->windowTitle(), c.caption);
        expectLayout(form, c.form);
        EXPECT_EQ(mainWindow()->isEnabled(), !c.holdsMainWindowOff);
        // The window manager keeps it above the main window, which cannot hide it then.
        ASSERT_NE(form->windowHandle(), nullptr);
        EXPECT_EQ(form->windowHandle()->transientParent(), mainWindow()->windowHandle());
        EXPECT_EQ(form->windowType(), Qt::Dialog) << "X11 window managers ignore it for other types";
        if (c.holdsMainWindowOff) { // not even from its title bar
            EXPECT_FALSE(mainWindow()->close());
        }
        click(c.button, mainWindow());
        EXPECT_EQ(windows.loaded(c.form), form) << "loaded again";
        form->close();
        EXPECT_EQ(windows.loaded(c.form), nullptr);
        EXPECT_TRUE(mainWindow()->isEnabled());
        EXPECT_TRUE(mainWindow()->close());
        EXPECT_EQ(windows.loaded("Form1"), nullptr);
    }
}

} // namespace
} // namespace velmora
