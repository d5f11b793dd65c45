#include "machine/Backups.h"

#include "support/FileFixtures.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

// The program itself, run as from a terminal without a display (over SSH, say): no DISPLAY, no
// WAYLAND_DISPLAY, no platform chosen, and a data home of its own holding one backup of the
// machine, of a file changed since by another program. NOWHERE is a path where nothing is.
TEST(CommandLineWithoutDisplay, AnswersOnTheTerminal)
{
    const struct {
        const char* arguments;
        int exitCode;
        const char *out, *err; // a part of standard output and of standard error
        bool gone = false;     // WIN.INI was removed since
    } cases[] = {
        {"--version", 0, "Velmora 1.2\n", ""},
        {"--list-backups", 0, "machine MACHINE\n    MACHINE/drive_c/WINDOWS/WIN.INI\n", ""},
        {"--restore --machine MACHINE", 1, "Backup ",
         "left alone, changed since Velmora wrote it (--force puts it back): MACHINE/drive_c"},
        {"--restore --machine MACHINE", 1, "Backup ",
         "missing, the file is gone (--force puts it back): MACHINE/drive_c/WINDOWS/WIN.INI", true},
        {"--force", 2, "", "--force goes only with --restore"},
        {"--machine MACHINE", 1, "", "velmora: cannot open a window: there is no display"},
        {"--machine MACHINE --new-machine MACHINE", 2, "", "--machine and --new-machine do not go together"},
        {"--new-machine NOWHERE --list-backups", 2, "", "--new-machine goes only with opening the window"},
        // A mistyped path is refused before a display is needed; nothing is made without a window.
        {"--machine NOWHERE", 1, "", "velmora: The machine NOWHERE cannot be used:\nNOWHERE does not exist"},
        {"--new-machine NOWHERE", 1, "", "velmora: cannot open a window: there is no display"},
        {"--machine NOWHERE show", 1, "",
         "velmora: The machine NOWHERE cannot be used:\nNOWHERE does not exist"},
        {"--new-machine NOWHERE show", 2, "", "--new-machine goes only with opening the window"},
        {"--partition 1 show", 2, "", "--partition goes only with --machine IMAGE"},
        {"--machine MACHINE --partition 0 show", 2, "", "--partition 0: not a partition number"},
        {"--machine MACHINE --partition 1 show", 1, "", "MACHINE is not a disk image: a partition is chosen"},
        // A file manager opens a machine as the one argument (the desktop entry's %f).
        {"MACHINE --partition 1", 1, "", "MACHINE is not a disk image: a partition is chosen"},
        {"MACHINE NOWHERE", 2, "", "Unexpected argument"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        QTemporaryDir home;
        const QString machine = home.path() + "/machine", winIni = machine + "/drive_c/WINDOWS/WIN.INI",
                      nowhere = home.path() + "/nowhere";
        ASSERT_TRUE(testing::writeBytes(winIni, "old"));
        BackupSession session(home.path() + "/data/velmora/backups", machine);
        ASSERT_TRUE(session.beforeChange(winIni) && session.afterChange(winIni, "new"));
        ASSERT_TRUE(c.gone ? QFile::remove(winIni) : testing::writeBytes(winIni, "changed by Windows"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        environment.insert("XDG_DATA_HOME", home.path() + "/data");
        environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
        QProcess run;
        run.setProcessEnvironment(environment);
        run.start(VELMORA_BINARY, QString(c.arguments)
                                      .split(' ')
                                      .replaceInStrings("MACHINE", machine)
                                      .replaceInStrings("NOWHERE", nowhere));
        ASSERT_TRUE(run.waitForFinished(30000));
        const QString out = run.readAllStandardOutput(), err = run.readAllStandardError();
        EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(run.exitCode(), c.exitCode) << err.toStdString();
        EXPECT_TRUE(out.contains(QString(c.out).replace("MACHINE", machine))) << out.toStdString();
        EXPECT_TRUE(err.contains(QString(c.err).replace("MACHINE", machine).replace("NOWHERE", nowhere)))
            << err.toStdString();
        EXPECT_EQ(testing::readBytes(winIni), QByteArray(c.gone ? "<unreadable>" : "changed by Windows"));
        EXPECT_FALSE(QFileInfo::exists(nowhere));
    }
}

} // namespace
} // namespace velmora
