#include "platform/ProgramStarter.h"
#include "platform/MachineFolder.h"
#include "support/FileFixtures.h"
#include "support/RecordingLauncher.h"
#include "support/WineStandIn.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::RecordingLauncher;
using testing::WineStandIn;

const QByteArray kPeHead = QByteArrayLiteral("MZ\x90\x00\x03\x00\x00\x00");

class ProgramStarterTest : public ::testing::Test {
protected:
    ProgramStarterTest() { QDir(machineDir.path()).mkpath(QStringLiteral("drive_c/WINDOWS")); }

    QString host(const QString& relative) const { return machine.driveC() + u'/' + relative; }

    void writeFile(const QString& relative, const QByteArray& bytes) const
    {
        ASSERT_TRUE(testing::writeBytes(host(relative), bytes));
    }

    QTemporaryDir machineDir;
    WineStandIn wine;
    QTemporaryDir emptyDir;
    MachineFolder machine{machineDir.path()};
    RecordingLauncher launcher;
    QString prefix = emptyDir.path() + QStringLiteral("/wine");
    ProgramStarter starter{machine, &launcher, {wine.folder()}, prefix};
};

// .EXE, .COM and .BAT files are all Windows programs, started through Wine, detached.
TEST_F(ProgramStarterTest, StartsAWindowsProgramWithWineDetached)
{
    writeFile(QStringLiteral("Program Files/MSInfo/MSINFO32.EXE"), kPeHead);
    writeFile(QStringLiteral("TOOLS/RUN.BAT"), "@echo off\r\nmode com1\r\n");
    const Result<void> started = starter.start(QStringLiteral("C:\\program files\\msinfo\\msinfo32.exe"));
    ASSERT_TRUE(started) << started.reason().toStdString();
    EXPECT_TRUE(starter.start(QStringLiteral("c:/tools/run.bat")));
    ASSERT_EQ(launcher.started().size(), 2);
    EXPECT_EQ(launcher.started()[0].program, wine.program());
    EXPECT_EQ(launcher.started()[0].arguments,
              QStringList{
                  QFileInfo(host(QStringLiteral("Program Files/MSInfo/MSINFO32.EXE"))).canonicalFilePath()});
}

// The program sees the machine's drive C as its only drive, in a prefix Wine never updates (an
// update would install Wine's own files into drive C); whatever drives were there before go.
TEST_F(ProgramStarterTest, StartsInAPrefixWhoseOnlyDriveIsTheMachinesDriveC)
{
    writeFile(QStringLiteral("MSINFO32.EXE"), kPeHead);
    const QString devices = prefix + QStringLiteral("/dosdevices");
    ASSERT_TRUE(QDir().mkpath(devices));
    for (const char* drive : {"c:", "z:", "d::"})
        ASSERT_TRUE(QFile::link(QStringLiteral("/"), devices + u'/' + QLatin1String(drive)));
    ASSERT_TRUE(testing::writeBytes(devices + QStringLiteral("/com1"), ""));
    const QStringList driveC = testing::folderEntries(machine.driveC());

    for (int run = 0; run < 2; ++run) {
        const Result<void> started = starter.start(QStringLiteral("c:\\msinfo32.exe"));
        ASSERT_TRUE(started) << started.reason().toStdString();
        EXPECT_TRUE(launcher.started().back().environment.contains(QStringLiteral("WINEPREFIX=") + prefix));
        EXPECT_EQ(testing::folderEntries(devices), (QStringList{"c:", "com1"}));
        EXPECT_EQ(QFileInfo(devices + QStringLiteral("/c:")).symLinkTarget(),
                  QFileInfo(machine.driveC()).canonicalFilePath());
        EXPECT_EQ(testing::readBytes(prefix + QStringLiteral("/.update-timestamp")), QByteArray("disable\n"));
        EXPECT_EQ(testing::folderEntries(machine.driveC()), driveC);
    }
}

// Texts that could come from registry data anyone can write: none may start anything.
TEST_F(ProgramStarterTest, RefusesEverythingButAWindowsProgramOnDriveC)
{
    writeFile(QStringLiteral("WINDOWS/WIN.INI"), "[windows]\r\n");
    writeFile(QStringLiteral("EVIL.EXE"), "\x7f"
                                          "ELF\x02\x01\x01");
    writeFile(QStringLiteral("EVIL.BAT"), "#!/bin/sh\nrm -rf ~\n");
    ASSERT_TRUE(QFile::link(QStringLiteral("/bin/sh"), host(QStringLiteral("SH.EXE"))));

    const struct {
        const char* name;
        QString path;
    } cases[] = {
        {"empty text", QString()},
        {"host program", QStringLiteral("/bin/sh")},
        {"other drive", QStringLiteral("d:\\msinfo32.exe")},
        {"folder", QStringLiteral("c:\\windows")},
        {"missing file", QStringLiteral("c:\\windows\\msinfo32.exe")},
        {"not a program", QStringLiteral("c:\\windows\\win.ini")},
        {"Linux program named .exe", QStringLiteral("c:\\evil.exe")},
        {"script named .bat", QStringLiteral("c:\\evil.bat")},
        {"link to a host program", QStringLiteral("c:\\sh.exe")},
        {"NUL inside", QStringLiteral("c:\\evil.exe") + QChar(0) + QStringLiteral("/bin/sh")},
        {"1024+ characters", QStringLiteral("c:\\") + QString(1100, u'a') + QStringLiteral(".exe")},
    };
    for (const auto& c : cases) {
        const Result<void> started = starter.start(c.path);
        EXPECT_FALSE(started.ok() || started.reason().isEmpty()) << c.name;
    }
    EXPECT_TRUE(launcher.started().isEmpty());
}

TEST_F(ProgramStarterTest, FailsWithoutWineALauncherOrAStart)
{
    writeFile(QStringLiteral("MSINFO32.EXE"), kPeHead);
    const QString path = QStringLiteral("c:\\msinfo32.exe");

    const ProgramStarter noWine(machine, &launcher, {emptyDir.path()});
    EXPECT_TRUE(noWine.wineProgram().isEmpty());
    const Result<void> withoutWine = noWine.start(path);
    EXPECT_TRUE(!withoutWine && withoutWine.reason().contains(QStringLiteral("Wine")))
        << withoutWine.reason().toStdString();
    EXPECT_TRUE(launcher.started().isEmpty());

    const ProgramStarter noLauncher(machine, nullptr, {wine.folder()});
    EXPECT_FALSE(noLauncher.start(path));

    launcher.failWith(QStringLiteral("exec failed"));
    const Result<void> failed = starter.start(path);
    EXPECT_TRUE(!failed && failed.reason().endsWith(QStringLiteral("exec failed")))
        << failed.reason().toStdString();
}

TEST_F(ProgramStarterTest, FileExistsOnlyForOrdinaryFilesOnDriveC)
{
    writeFile(QStringLiteral("MSINFO/MSINFO32.EXE"), kPeHead);
    EXPECT_TRUE(starter.fileExists(QStringLiteral("C:\\MSINFO\\msinfo32.exe")));
    EXPECT_FALSE(starter.fileExists(QStringLiteral("c:\\msinfo")));
    EXPECT_FALSE(starter.fileExists(QStringLiteral("/bin/sh")));
    EXPECT_FALSE(starter.fileExists(QString()));
}

} // namespace
} // namespace velmora
