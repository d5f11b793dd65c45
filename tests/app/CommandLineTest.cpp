#include "platform/Backups.h"

#include "support/FileFixtures.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct CommandCase {
    const char* name;
    QStringList arguments;
    int exitCode;
    const char *out, *err; // a part of standard output and of standard error
};

class CommandLineWithoutDisplay : public ::testing::TestWithParam<CommandCase> {
protected:
    QTemporaryDir home;
    QString machine = home.path() + "/machine";
};

TEST_P(CommandLineWithoutDisplay, AnswersOnTheTerminal)
{
    const CommandCase& c = GetParam();
    // One backup of the machine, of a file changed since by another program.
    const QString winIni = machine + "/drive_c/WINDOWS/WIN.INI";
    ASSERT_TRUE(testing::writeBytes(winIni, "old"));
    BackupSession session(home.path() + "/data/velmora/backups", machine);
    ASSERT_TRUE(session.beforeChange(winIni) && session.afterChange(winIni, "new"));
    ASSERT_TRUE(testing::writeBytes(winIni, "changed by Windows"));
    // The program itself, run as from a terminal without a display (over SSH, say): no DISPLAY,
    // no WAYLAND_DISPLAY, no platform chosen, and a data home of its own.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + "/data");
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + "/config");
    QProcess run;
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral(VELMORA_BINARY), QStringList(c.arguments).replaceInStrings("MACHINE", machine));
    ASSERT_TRUE(run.waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(run.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), c.exitCode) << err.toStdString();
    EXPECT_TRUE(out.contains(QString::fromUtf8(c.out).replace("MACHINE", machine))) << out.toStdString();
    EXPECT_TRUE(err.contains(QString::fromUtf8(c.err).replace("MACHINE", machine))) << err.toStdString();
    EXPECT_FALSE(err.contains("could not connect to display")) << err.toStdString();
    EXPECT_EQ(testing::readBytes(winIni), QByteArray("changed by Windows"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineWithoutDisplay,
    ::testing::Values(
        CommandCase{"Version", {"--version"}, 0, "Velmora 1.2\n", ""},
        CommandCase{"ListBackups",
                    {"--list-backups"},
                    0,
                    "machine MACHINE\n    MACHINE/drive_c/WINDOWS/WIN.INI\n",
                    ""},
        CommandCase{"RestoreLeavesAChangedFileAlone",
                    {"--restore", "--machine", "MACHINE"},
                    1,
                    "Backup ",
                    "left alone, changed since Velmora wrote it (--force puts it back): MACHINE/drive_c"},
        CommandCase{"ForceAlone", {"--force"}, 2, "", "--force goes only with --restore"},
        CommandCase{"StartWithoutDisplay",
                    {"--machine", "MACHINE"},
                    1,
                    "",
                    "velmora: cannot open a window: there is no display"}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
