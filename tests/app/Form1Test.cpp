#include "support/WindowTest.h"

namespace velmora {
namespace {

struct OpenCase {
    const char *button, *form;
    bool holdsMainWindowOff;
};

class Form1Opening : public testing::WindowTest, public ::testing::WithParamInterface<OpenCase> {};

// Each button loads its window once (pressed again, it only shows it), the window holds the
// main window off while open if it should (it cannot even be closed), and closing it leaves the
// main window usable and closable.
TEST_P(Form1Opening, OpensOnceAndCloses)
{
    const OpenCase& c = GetParam();
    const QString name = QString::fromLatin1(c.form);
    WindowRegistry& windows = machine.app().windows();
    pick("cmbCommPorts", "Com Port 1"); // the port settings open only with a port picked
    click(c.button);
    QWidget* form = windows.loaded(name);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(mainWindow()->isEnabled(), !c.holdsMainWindowOff);
    if (c.holdsMainWindowOff) { // not even from its title bar
        EXPECT_FALSE(mainWindow()->close());
        EXPECT_TRUE(mainWindow()->isVisible());
    }
    click(c.button, mainWindow());
    EXPECT_EQ(windows.loaded(name), form) << "loaded again";
    form->close();
    EXPECT_EQ(windows.loaded(name), nullptr);
    EXPECT_TRUE(mainWindow()->isEnabled());
    EXPECT_TRUE(mainWindow()->close());
    EXPECT_EQ(windows.loaded(QStringLiteral("Form1")), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Buttons, Form1Opening,
                         ::testing::Values(OpenCase{"Command1", "frmAbout", false},
                                           OpenCase{"cmdModemInfo", "Form2", false},
                                           OpenCase{"cmdCustomCommSet", "Form3", true},
                                           OpenCase{"cmdCustomModemSet", "Form4", true},
                                           OpenCase{"cmdCustomBufferSet", "Form5", true},
                                           OpenCase{"cmdBandwidth", "Form6", true}),
                         [](const auto& info) { return std::string(info.param.form); });

} // namespace
} // namespace velmora
