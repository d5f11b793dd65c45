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
    using LayOut = std::function<void(const QString& root)>;
    const LayOut machineFolder = [](const QString& root) {
        QDir(root).mkpath(QStringLiteral("drive_c/WINDOWS"));
    };
    const auto withRegistry = [machineFolder](const QByteArray& text) {
        return LayOut([machineFolder, text](const QString& root) {
            machineFolder(root);
            ASSERT_TRUE(t::writeBytes(root + "/system.reg", text));
        });
    };
    const auto drive = [](const QByteArray& systemDat) {
        return LayOut([systemDat](const QString& root) {
            ASSERT_TRUE(t::writeBytes(root + "/MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WINDOWS\r\n"));
            ASSERT_TRUE(t::writeBytes(root + "/WINDOWS/SYSTEM.DAT", systemDat));
        });
    };
    const struct {
        const char* name;
        LayOut layOut;
        const char* registry; // relative to the root; null: no warning
    } cases[] = {
        {"damaged system.reg", withRegistry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:zz\r\n"),
         "system.reg"},
        {"truncated SYSTEM.DAT", drive(t::hiveFile("SYSTEM.DAT").left(4096)), "WINDOWS/SYSTEM.DAT"},
        {"sound system.reg",
         withRegistry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"x\"=dword:00000001\r\n"), nullptr},
        {"no system.reg", machineFolder, nullptr},
        {"folder for system.reg",
         [machineFolder](const QString& root) {
             machineFolder(root);
             QDir(root).mkdir(QStringLiteral("system.reg"));
         },
         nullptr},
        {"FIFO for system.reg",
         [machineFolder](const QString& root) {
             machineFolder(root);
             ASSERT_EQ(::mkfifo(QFile::encodeName(root + "/system.reg").constData(), 0600), 0);
         },
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        t::TestMachine machine(c.layOut);
        machine.app().context().splashMilliseconds = 1;
        WindowRegistry& windows = machine.app().windows();
        const auto mainOnScreen = [&windows] {
            const QWidget* main = windows.loaded(QStringLiteral("Form1"));
            return main && main->isVisible();
        };
        std::optional<bool> mainVisibleBehindBox;
        QString shownText;
        machine.boxes.whenShown = [&](const QString& text) {
            mainVisibleBehindBox = mainOnScreen();
            shownText = text;
        };
        if (c.registry)
            machine.boxes.expectStartingWith(
                QStringLiteral("The registry %1/%2 cannot be read:\n").arg(machine.root(), c.registry),
                MsgIcon::Exclamation);
        machine.app().start();
        for (int wait = 0; wait < 500 && !mainOnScreen(); ++wait)
            QTest::qWait(10);
        ASSERT_TRUE(mainOnScreen());
        QTest::qWait(20); // the warning is queued behind the showing
        machine.boxes.verifyAllShown();
        if (!c.registry) {
            EXPECT_FALSE(mainVisibleBehindBox.has_value()) << shownText.toStdString();
            continue;
        }
        EXPECT_EQ(mainVisibleBehindBox, true);
        const RegistryBackend& store = machine.app().context().registry.store();
        EXPECT_TRUE(shownText.contains(store.damage())) << shownText.toStdString();
        EXPECT_TRUE(shownText.endsWith(QStringLiteral("Velmora will not change it.")))
            << shownText.toStdString();

        QWidget* main = windows.loaded(QStringLiteral("Form1")); // said once, not at every showing
        main->hide();
        main->show();
        QTest::qWait(20);
    }
}

} // namespace
} // namespace velmora
