#include "app/FrmAbout.h"
#include "buffers/Form5.h"
#include "support/WindowTest.h"
#include "ui/Look.h"

#include <QGuiApplication>
#include <QStyleOption>
#include <QWindow>

namespace velmora {
namespace {

// The main window, the windows it opens and the About box.
using Form1Test = testing::WindowTest;

// Each button loads its window once (pressed again, it only shows it) as its layout file shows it, the window
// holds the main window off while open if it should (it cannot even be closed), and closing it leaves the
// main window usable and closable; each is transient for the main window. Opening is one
// mechanism, but each settings window holds the main window off itself, hence a row for each.
TEST_F(Form1Test, EachButtonOpensItsWindowOnceAndItCloses)
{
    const struct {
        const char *button, *form;
        bool holdsMainWindowOff;
    } cases[] = {{"Command1", "frmAbout", false},       {"cmdModemInfo", "Form2", false},
                 {"cmdCustomCommSet", "Form3", true},   {"cmdCustomModemSet", "Form4", true},
                 {"cmdCustomBufferSet", "Form5", true}, {"cmdBandwidth", "Form6", true}};
    WindowRegistry& windows = machine.app().windows();
    expectLayout(mainWindow(), "Form1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.form);
        pick("cmbCommPorts", "Com Port 1"); // the port settings open only with a port picked
        click(c.button);
        QWidget* form = windows.loaded(c.form);
        ASSERT_NE(form, nullptr);
        EXPECT_TRUE(form->isVisible());
        expectLayout(form, c.form);
        EXPECT_EQ(mainWindow()->isEnabled(), !c.holdsMainWindowOff);
        // The window manager keeps it above the main window, which cannot hide it then.
        ASSERT_NE(form->windowHandle(), nullptr);
        EXPECT_EQ(form->windowHandle()->transientParent(), mainWindow()->windowHandle());
        EXPECT_EQ(form->windowType(), Qt::Dialog) << "X11 window managers ignore it for other types";
        EXPECT_TRUE(!c.holdsMainWindowOff || !mainWindow()->close()) << "closed from its title bar";
        click(c.button, mainWindow());
        EXPECT_EQ(windows.loaded(c.form), form) << "loaded again";
        form->close();
        EXPECT_EQ(windows.loaded(c.form), nullptr);
        EXPECT_TRUE(mainWindow()->isEnabled());
        EXPECT_TRUE(mainWindow()->close());
        EXPECT_EQ(windows.loaded("Form1"), nullptr);
    }
}

// The tool's PATH and folder values decide what is started, else the message; the About box
// stays open until its own Close. How a value's bytes become text is Module2's read table's;
// what is GetKeyValue's own is its 1024-byte buffer.
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
    frmAbout* about = openFrom<frmAbout>("Command1");
    ASSERT_NE(about, nullptr);
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
    HKEY root = HKEY_LOCAL_MACHINE;
    for (const int size : {1024, 1025}) {
        setValue("SOFTWARE\\Velmora Test", "Value", QByteArray(size, 'x'));
        QString text = "as it came";
        const Result<bool> read = about->GetKeyValue(root, "software\\velmora test", "VALUE", text);
        EXPECT_TRUE(read.ok() && read.value() == (size == 1024)) << size;
        EXPECT_EQ(text, size == 1024 ? QString(1024, u'x') : QString()) << size;
    }
    click("Command1");
    EXPECT_EQ(loaded<frmAbout>(), nullptr);
}

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
TEST_F(Form1Test, DisabledControlsAreDrawnGrey)
{
    const QPalette platform = QGuiApplication::palette();
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
