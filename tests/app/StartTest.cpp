#include "app/CommandLine.h"
#include "machine/MachineFolder.h"
#include "support/HiveFixtures.h"
#include "support/TestMachine.h"
#include "ui/VbForm.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <sys/stat.h>

namespace velmora {
namespace {

namespace t = velmora::testing;

// The program started as main() does: the splash is up with its timer running, due two seconds
// from its creation, and the main window loaded but not shown. A click on the picture (not on an
// icon) closes the splash, shows the main window and leaves no timer running behind it; the
// timer's tick does the same (the warning's test below starts with a splash of a millisecond).
TEST(StartTest, TheSplashGoesAtAClickOnThePicture)
{
    const struct {
        const char* picture;
        bool goes;
    } cases[] = {{"Image1", true}, {"Image2", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.picture);
        t::TestMachine machine;
        QElapsedTimer sinceStart;
        sinceStart.start();
        machine.app().start();
        WindowRegistry& windows = machine.app().windows();
        const QPointer<QWidget> splash = windows.loaded("splash");
        QWidget* main = windows.loaded("Form1");
        ASSERT_TRUE(splash && main);
        EXPECT_FALSE(splash->findChild<QLabel*>("Image1")->pixmap().isNull()) << "no picture";
        EXPECT_TRUE(!splash->windowHandle() || !splash->windowHandle()->transientParent())
            << "tied to a hidden window";
        const QPointer<QTimer> timer = splash->findChild<QTimer*>("Timer1");
        ASSERT_TRUE(timer && timer->isActive()) << "the timer runs from the moment the splash is created";
        const qint64 remaining = timer->remainingTime(), elapsed = sinceStart.elapsed();
        EXPECT_TRUE(elapsed + remaining >= 2000 && remaining <= 2000)
            << remaining << " ms left after " << elapsed;
        for (const bool acted : {false, true}) {
            if (acted)
                QTest::mouseClick(splash->findChild<QWidget*>(c.picture), Qt::LeftButton);
            const bool gone = acted && c.goes;
            EXPECT_EQ(splash->isVisible(), !gone) << "splash and main window seen together";
            EXPECT_EQ(main->isVisible(), gone);
            // The window is destroyed a moment later; in that moment its timer must not tick again.
            EXPECT_EQ(timer->isActive(), !gone);
        }
        EXPECT_EQ(windows.loaded("splash") == nullptr, c.goes);
    }
}

// A registry file that is there but cannot be read is reported once, in a warning over the main
// window just after it appears (here after the splash), naming the file and why; the windows
// then go on as with an empty registry. A registry that is missing, or something other than an
// ordinary file in its place, keeps the start quiet: each write says what is wrong.
TEST(StartTest, IsReportedOnceTheMainWindowIsUp)
{
    const struct {
        const char* name;
        const char* registry; // relative to the root: a machine folder's, or a drive's
        QByteArray put;       // its bytes; null: nothing; "FIFO": one in its place
        bool warned;
    } cases[] = {
        {"damaged system.reg", "system.reg", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:zz\r\n",
         true},
        {"truncated SYSTEM.DAT", "WINDOWS/SYSTEM.DAT", t::hiveFile("SYSTEM.DAT").left(4096), true},
        {"no system.reg", "system.reg", {}, false},
        {"FIFO for system.reg", "system.reg", "FIFO", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        t::TestMachine machine([&c](const QString& root) {
            const QString path = root + '/' + c.registry;
            QDir(root).mkpath(c.registry == std::string("system.reg") ? "drive_c/WINDOWS" : "WINDOWS");
            ASSERT_TRUE(c.put.isNull() ||
                        (c.put == "FIFO" ? ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0
                                         : t::writeBytes(path, c.put)));
        });
        machine.app().context().splashMilliseconds = 1;
        WindowRegistry& windows = machine.app().windows();
        const auto mainOnScreen = [&windows] {
            return windows.loaded("Form1") && windows.loaded("Form1")->isVisible();
        };
        std::optional<bool> mainVisibleBehindBox;
        QString shownText;
        machine.boxes.whenShown = [&](const QString& text) {
            mainVisibleBehindBox = mainOnScreen();
            shownText = text;
        };
        if (c.warned)
            machine.boxes.expect(
                QString("The registry %1/%2 cannot be read:\n").arg(machine.root(), c.registry),
                MsgIcon::Exclamation, MsgButtons::Ok, MsgAnswer::Ok, true);
        machine.app().start();
        for (int wait = 0; wait < 500 && !mainOnScreen(); ++wait)
            QTest::qWait(10);
        ASSERT_TRUE(mainOnScreen() && !windows.loaded("splash")) << "the splash's time is up";
        QTest::qWait(20); // the warning is queued behind the showing
        machine.boxes.verifyAllShown();
        if (!c.warned)
            continue; // a box shown anyway fails as unexpected
        EXPECT_EQ(mainVisibleBehindBox, true);
        const RegistryBackend& store = machine.app().context().registry.store();
        EXPECT_TRUE(shownText.contains(store.damage()) && shownText.endsWith("Velmora will not change it."))
            << shownText.toStdString();

        QWidget* main = windows.loaded("Form1"); // said once, not at every showing
        main->hide();
        main->show();
        QTest::qWait(20);
    }
}

// Only the default machine folder is made on first start, and only where nothing is; --machine
// names one that must be there, --new-machine one to make where nothing is or an empty folder.
// A refusal names the root and leaves it as it was.
TEST(StartTest, AMachineIsMadeOnlyWhereNothingIsAndOnlyWhenAllowed)
{
    const struct {
        const char* name;
        const char* option;  // before the root; nullptr: none, the default machine's way
        const char* there;   // null: nothing; "/": an empty folder; else a file under the root
        const char* refusal; // a part of the reason, after the root; null: usable
        bool seeded;
    } cases[] = {
        {"default, nothing there", nullptr, nullptr, nullptr, true},
        {"named, nothing there", "--machine", nullptr, " does not exist", false},
        {"named, empty folder", "--machine", "/", " is empty", false},
        {"named machine folder", "--machine", "/system.reg", nullptr, false},
        {"new, nothing there", "--new-machine", nullptr, nullptr, true},
        {"new, empty folder", "--new-machine", "/", nullptr, true},
        {"new over a machine", "--new-machine", "/system.reg", " already exists", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString root = dir.path() + "/machine";
        ASSERT_TRUE(!c.there ||
                    (c.there == std::string("/") ? QDir().mkpath(root)
                                                 : t::writeBytes(root + c.there, "REGEDIT4\r\n\r\n")));
        const QStringList before = t::folderEntries(root);
        const CommandLine commandLine(c.option ? QStringList{"velmora", c.option, root}
                                               : QStringList{"velmora"});
        EXPECT_EQ(commandLine.machineRoot(), c.option ? root : MachineFolder::defaultLocation());
        const Result<void> prepared = MachineFolder(root).prepare(commandLine.machineCreation());
        EXPECT_TRUE(c.refusal ? !prepared && prepared.reason().contains(root + c.refusal) : prepared.ok())
            << prepared.reason().toStdString();
        EXPECT_EQ(QFileInfo::exists(root + "/drive_c/WINDOWS/WIN.INI") &&
                      QFileInfo::exists(root + "/system.reg"),
                  c.seeded);
        EXPECT_TRUE(c.seeded ||
                    (t::folderEntries(root) == before && QFileInfo::exists(root) == bool(c.there)))
            << "left as it was";
    }
}

} // namespace
} // namespace velmora
