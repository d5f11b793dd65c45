#include "platform/Backups.h"

#include "support/FileFixtures.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct Finished {
    int exitCode = -1;
    QString out, err;
};

// The program itself, run as from a terminal without a display (over SSH, say): no DISPLAY, no
// WAYLAND_DISPLAY, no platform chosen, and a data home of its own under home. MACHINE in the
// arguments stands for machine.
Finished runWithoutDisplay(const QString& home, const char* arguments, const QString& machine)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    environment.insert("XDG_DATA_HOME", home + "/data");
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(VELMORA_BINARY, QString(arguments).split(' ').replaceInStrings("MACHINE", machine));
    Finished run;
    EXPECT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// With one backup of the machine, of a file changed since by another program.
TEST(CommandLineWithoutDisplay, AnswersOnTheTerminal)
{
    const struct {
        const char* arguments;
        int exitCode;
        const char *out, *err; // a part of standard output and of standard error
    } cases[] = {
        {"--version", 0, "Velmora 1.2\n", ""},
        {"--list-backups", 0, "machine MACHINE\n    MACHINE/drive_c/WINDOWS/WIN.INI\n", ""},
        {"--restore --machine MACHINE", 1, "Backup ",
         "left alone, changed since Velmora wrote it (--force puts it back): MACHINE/drive_c"},
        {"--force", 2, "", "--force goes only with --restore"},
        {"--machine MACHINE", 1, "", "velmora: cannot open a window: there is no display"},
        {"--machine MACHINE --new-machine MACHINE", 2, "", "--machine and --new-machine do not go together"},
        {"--new-machine MACHINE --list-backups", 2, "", "--new-machine goes only with opening the window"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        QTemporaryDir home;
        const QString machine = home.path() + "/machine", winIni = machine + "/drive_c/WINDOWS/WIN.INI";
        ASSERT_TRUE(testing::writeBytes(winIni, "old"));
        BackupSession session(home.path() + "/data/velmora/backups", machine);
        ASSERT_TRUE(session.beforeChange(winIni) && session.afterChange(winIni, "new"));
        ASSERT_TRUE(testing::writeBytes(winIni, "changed by Windows"));
        const Finished run = runWithoutDisplay(home.path(), c.arguments, machine);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(QString(c.out).replace("MACHINE", machine))) << run.out.toStdString();
        EXPECT_TRUE(run.err.contains(QString(c.err).replace("MACHINE", machine))) << run.err.toStdString();
        EXPECT_EQ(testing::readBytes(winIni), QByteArray("changed by Windows"));
    }
}

// A machine named with --machine must be there: a mistyped path or an empty mount point is
// refused at once, in any terminal, and nothing is made. --new-machine makes one only with a
// window to show it, so here it leaves the folder as it was.
TEST(CommandLineWithoutDisplay, RefusesAMachineThatIsNotThereAndMakesNoneWithoutAWindow)
{
    const struct {
        const char* name;
        const char* arguments;
        bool folderExists;
        const char* err;
    } cases[] = {
        {"missing", "--machine MACHINE", false,
         "velmora: The machine MACHINE cannot be used:\nMACHINE does not exist"},
        {"empty", "--machine MACHINE", true, "MACHINE is empty"},
        {"new", "--new-machine MACHINE", false, "cannot open a window: there is no display"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir home;
        const QString machine = home.path() + "/machine";
        if (c.folderExists) {
            ASSERT_TRUE(QDir().mkpath(machine));
        }
        const Finished run = runWithoutDisplay(home.path(), c.arguments, machine);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.contains(QString(c.err).replace("MACHINE", machine))) << run.err.toStdString();
        EXPECT_EQ(QFileInfo::exists(machine), c.folderExists);
        EXPECT_TRUE(!c.folderExists ||
                    QDir(machine).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
}

} // namespace
} // namespace velmora
