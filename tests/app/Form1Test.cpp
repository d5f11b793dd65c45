#include "app/FrmAbout.h"
#include "support/WindowTest.h"
#include "ui/Look.h"

#include <QGuiApplication>
#include <QStyleOption>
#include <QWindow>

namespace velmora {
namespace {

// The main window, the windows it opens and the About box.
using Form1Test = testing::WindowTest;

// The colour the style draws a control's text with, in the state the control is in: the
// palette the widget really uses, in the colour group its state selects.
QColor drawnColour(const QWidget* widget, QPalette::ColorRole role)
{
    QStyleOption option;
    option.initFrom(widget);
    return option.palette.color(role);
}

// Each button loads its window once (pressed again, it only shows it) as its layout file shows it, the window
// holds the main window off while open if it should (it cannot even be closed), and closing it leaves the
// main window usable and closable; each is transient for the main window. Opening is one
// mechanism, but each settings window holds the main window off itself, hence a row for each.
// A control that takes input keeps its colours while enabled and takes the platform's grey text
// when disabled: one control of each look in the main window, held off or not, and the boxes
// drawn yellow on grey, which the program never disables, by hand.
TEST_F(Form1Test, EachButtonOpensItsWindowOnceAndItCloses)
{
    const struct {
        const char *button, *form;
        bool holdsMainWindowOff;
    } cases[] = {{"Command1", "frmAbout", false},       {"cmdModemInfo", "Form2", false},
                 {"cmdCustomCommSet", "Form3", true},   {"cmdCustomModemSet", "Form4", true},
                 {"cmdCustomBufferSet", "Form5", true}, {"cmdBandwidth", "Form6", true}};
    const QPalette platform = QGuiApplication::palette();
    const std::tuple<const char*, QPalette::ColorRole, QColor> looks[] = {
        {"cmdBandwidth", QPalette::ButtonText, platform.color(QPalette::Active, QPalette::ButtonText)},
        {"optMTU_0", QPalette::WindowText, colours::label},
        {"txtMaxInst", QPalette::Text, platform.color(QPalette::Active, QPalette::Text)}};
    WindowRegistry& windows = machine.app().windows();
    expectLayout(mainWindow(), "Form1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        pick("cmbCommPorts", "Com Port 1"); // the port settings open only with a port picked
        click(c.button);
        QWidget* form = windows.loaded(c.form);
        ASSERT_NE(form, nullptr);
        expectLayout(form, c.form);
        EXPECT_TRUE(form->isVisible() && mainWindow()->isEnabled() == !c.holdsMainWindowOff);
        for (const auto& [name, role, enabledColour] : looks)
            EXPECT_EQ(drawnColour(control(name, mainWindow()), role),
                      c.holdsMainWindowOff ? platform.color(QPalette::Disabled, role) : enabledColour)
                << name;
        if (QWidget* box = form->findChild<QComboBox*>("cmbTx")) {
            EXPECT_EQ(drawnColour(box, QPalette::Text), colours::label);
            box->setEnabled(false);
            EXPECT_EQ(drawnColour(box, QPalette::Text), platform.color(QPalette::Disabled, QPalette::Text));
        }
        // The window manager keeps it above the main window, which cannot hide it then.
        EXPECT_TRUE(form->windowHandle() &&
                    form->windowHandle()->transientParent() == mainWindow()->windowHandle());
        EXPECT_TRUE(!c.holdsMainWindowOff || !mainWindow()->close()) << "closed from its title bar";
        click(c.button, mainWindow());
        EXPECT_EQ(windows.loaded(c.form), form) << "loaded again";
        form->close();
        EXPECT_EQ(windows.loaded(c.form), nullptr);
        EXPECT_TRUE(mainWindow()->isEnabled() && mainWindow()->close() && !windows.loaded("Form1"));
    }
}

// The tool's PATH and folder values decide what is started, else the message; the About box
// stays open until its own Close. How a value's bytes become text is Module2's read table's.
TEST_F(Form1Test, SystemInfoStartsTheToolOrSaysItIsUnavailable)
{
    const QByteArray none; // a missing value
    const auto setValue = [this](const QByteArray& key, const QByteArray& name, const QByteArray& data) {
        ASSERT_TRUE(data.isNull() || testing::putValue(machine.app().context().registry, key, name, REG_SZ,
                                                       data) == ERROR_SUCCESS);
    };
    for (const char* folder : {"MSINFO", "OTHER"})
        machine.writeFile(QString("%1/MSINFO32.EXE").arg(folder), QByteArrayLiteral("MZ\x90\x00"));
    const struct {
        QByteArray path, folder;
        const char* started; // nullptr: the message
    } cases[] = {
        {"C:\\OTHER\\MSINFO32.EXE", "C:\\MSINFO", "OTHER/MSINFO32.EXE"}, // the path wins over the folder
        {none, "C:\\MSINFO", "MSINFO/MSINFO32.EXE"},
        // A path that cannot be started, or one of no bytes, is not made up for by the folder.
        {"C:\\MISSING\\MSINFO32.EXE", "C:\\MSINFO", nullptr},
        {"", "C:\\MSINFO", nullptr},
        {none, "C:\\WINDOWS", nullptr},
    };
    ASSERT_NE(openFrom<frmAbout>("Command1"), nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " | " + c.folder.toStdString());
        machine.writeRegistry("");
        setValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", c.path);
        setValue("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", c.folder);
        const qsizetype before = machine.launcher.started().size();
        if (!c.started)
            machine.boxes.expect("System Information Is Unavailable At This Time");
        click("Command2");
        machine.boxes.verifyAllShown();
        QStringList started;
        for (const auto& start : machine.launcher.started().mid(before))
            started += start.arguments; // through Wine: the program starter's table
        const QString file = QFileInfo(machine.hostFile(QString::fromLatin1(c.started))).canonicalFilePath();
        EXPECT_EQ(started, c.started ? QStringList{file} : QStringList());
    }
    click("Command1");
    EXPECT_EQ(loaded<frmAbout>(), nullptr);
}

} // namespace
} // namespace velmora
