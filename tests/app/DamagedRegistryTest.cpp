#include "support/HiveFixtures.h"
#include "support/TestMachine.h"
#include "ui/VbForm.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>

namespace velmora {
namespace {

namespace t = velmora::testing;

// A registry file that is there but cannot be read is reported once, in a warning over the main
// window just after it appears (here after the splash), naming the file and why; the windows
// then go on as with an empty registry. A registry that is missing, or something other than an
// ordinary file in its place, keeps the start quiet: each write says what is wrong.
TEST(DamagedRegistryTest, IsReportedOnceTheMainWindowIsUp)
{
    using Put = std::function<void(const QString& path)>;
    const auto file = [](const QByteArray& bytes) {
        return Put([bytes](const QString& path) { ASSERT_TRUE(t::writeBytes(path, bytes)); });
    };
    const struct {
        const char* name;
        const char* registry; // relative to the root: a machine folder's, or a drive's
        Put put;              // what is put in its place
        bool warned;
    } cases[] = {
        {"damaged system.reg", "system.reg",
         file("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:zz\r\n"), true},
        {"truncated SYSTEM.DAT", "WINDOWS/SYSTEM.DAT", file(t::hiveFile("SYSTEM.DAT").left(4096)), true},
        {"sound system.reg", "system.reg",
         file("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:00000001\r\n"), false},
        {"no system.reg", "system.reg", [](const QString&) {}, false},
        {"folder for system.reg", "system.reg", [](const QString& path) { QDir().mkdir(path); }, false},
        {"FIFO for system.reg", "system.reg",
         [](const QString& path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        t::TestMachine machine([&c](const QString& root) {
            if (c.registry == std::string("system.reg"))
                QDir(root).mkpath("drive_c/WINDOWS");
            c.put(root + '/' + c.registry);
        });
        machine.app().context().splashMilliseconds = 1;
        WindowRegistry& windows = machine.app().windows();
        const auto mainOnScreen = [&windows] {
            const QWidget* main = windows.loaded("Form1");
            return main && main->isVisible();
        };
        std::optional<bool> mainVisibleBehindBox;
        QString shownText;
        machine.boxes.whenShown = [&](const QString& text) {
            mainVisibleBehindBox = mainOnScreen();
            shownText = text;
        };
        if (c.warned)
            machine.boxes.expectStartingWith(
                QString("The registry %1/%2 cannot be read:\n").arg(machine.root(), c.registry),
                MsgIcon::Exclamation);
        machine.app().start();
        for (int wait = 0; wait < 500 && !mainOnScreen(); ++wait)
            QTest::qWait(10);
        ASSERT_TRUE(mainOnScreen());
        QTest::qWait(20); // the warning is queued behind the showing
        machine.boxes.verifyAllShown();
        if (!c.warned)
            continue; // a box shown anyway fails as unexpected
        EXPECT_EQ(mainVisibleBehindBox, true);
        const RegistryBackend& store = machine.app().context().registry.store();
        EXPECT_TRUE(shownText.contains(store.damage())) << shownText.toStdString();
        EXPECT_TRUE(shownText.endsWith("Velmora will not change it.")) << shownText.toStdString();

        QWidget* main = windows.loaded("Form1"); // said once, not at every showing
        main->hide();
        main->show();
        QTest::qWait(20);
    }
}

} // namespace
} // namespace velmora
