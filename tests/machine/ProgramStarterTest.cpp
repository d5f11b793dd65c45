#include "machine/ProgramStarter.h"
#include "machine/MachineFolder.h"
#include "support/FileFixtures.h"
#include "support/RecordingLauncher.h"
#include "support/WineStandIn.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

const QByteArray kPeHead = QByteArrayLiteral("MZ\x90\x00\x03\x00\x00\x00");

class ProgramStarterTest : public ::testing::Test {
protected:
    QString host(const QString& relative) const { return machine.driveC() + u'/' + relative; }

    QTemporaryDir machineDir;
    WineStandIn wine;
    QTemporaryDir emptyDir;
    MachineFolder machine{machineDir.path()};
    RecordingLauncher launcher;
    QString prefix = emptyDir.path() + "/wine";
    ProgramStarter starter{machine, &launcher, {wine.folder()}, prefix};
};

// .EXE and .BAT files are Windows programs, started through Wine, detached, in a prefix whose only
// drive is the machine's drive C and that Wine never updates (an update would install Wine's own
// files into drive C); whatever drives were there before go, and a second start finds it ready.
TEST_F(ProgramStarterTest, StartsAWindowsProgramWithWineInAPrefixOfDriveCAloneOrSaysWhyNot)
{
    ASSERT_TRUE(writeBytes(host("Program Files/MSInfo/MSINFO32.EXE"), kPeHead));
    ASSERT_TRUE(writeBytes(host("TOOLS/RUN.BAT"), "@echo off\r\nmode com1\r\n"));
    const QString devices = prefix + "/dosdevices";
    for (const char* drive : {"c:", "z:", "d::"})
        ASSERT_TRUE(QDir().mkpath(devices) && QFile::link("/", devices + '/' + drive));
    ASSERT_TRUE(writeBytes(devices + "/com1", ""));
    const QStringList driveC = folderEntries(machine.driveC());

    const std::pair<QString, QString> programs[] = {
        {"C:\\program files\\msinfo\\msinfo32.exe", "Program Files/MSInfo/MSINFO32.EXE"},
        {"c:/tools/run.bat", "TOOLS/RUN.BAT"}};
    for (const auto& [windowsPath, file] : programs) {
        const Result<void> started = starter.start(windowsPath);
        ASSERT_TRUE(started) << started.reason().toStdString();
        const auto& run = launcher.started().back();
        EXPECT_EQ(run.program, wine.program());
        EXPECT_EQ(run.arguments, QStringList{QFileInfo(host(file)).canonicalFilePath()});
        EXPECT_TRUE(run.environment.contains("WINEPREFIX=" + prefix));
        EXPECT_EQ(folderEntries(devices), (QStringList{"c:", "com1"}));
        EXPECT_EQ(QFileInfo(devices + "/c:").symLinkTarget(),
                  QFileInfo(machine.driveC()).canonicalFilePath());
        EXPECT_EQ(readBytes(prefix + "/.update-timestamp"), QByteArray("disable\n"));
        EXPECT_EQ(folderEntries(machine.driveC()), driveC);
    }

    // Without Wine or a launcher nothing starts; a start that fails says why.
    const QString path = "c:\\tools\\run.bat";
    const Result<void> withoutWine = ProgramStarter(machine, &launcher, {emptyDir.path()}).start(path);
    EXPECT_TRUE(!withoutWine && withoutWine.reason().contains("Wine")) << withoutWine.reason().toStdString();
    EXPECT_FALSE(ProgramStarter(machine, nullptr, {wine.folder()}).start(path));
    launcher.failWith("exec failed");
    const Result<void> failed = starter.start(path);
    EXPECT_TRUE(!failed && failed.reason().endsWith("exec failed")) << failed.reason().toStdString();
    EXPECT_EQ(launcher.started().size(), 3) << "two starts and the one that failed";
}

// Texts that could come from registry data anyone can write: none may start anything.
TEST_F(ProgramStarterTest, RefusesEverythingButAWindowsProgramOnDriveC)
{
    ASSERT_TRUE(writeBytes(host("WINDOWS/WIN.INI"), "[windows]\r\n"));
    ASSERT_TRUE(writeBytes(host("EVIL.EXE"), "\177ELF\x02\x01\x01"));
    ASSERT_TRUE(writeBytes(host("EVIL.BAT"), "#!/bin/sh\nrm -rf ~\n"));
    ASSERT_TRUE(QFile::link("/bin/sh", host("SH.EXE")));

    // The text, and whether it is an ordinary file of drive C, which fileExists() admits.
    const std::pair<QString, bool> cases[] = {
        {QString(), false},
        {"/bin/sh", false},                   // a host program
        {"c:\\windows", false},               // a folder
        {"c:\\windows\\msinfo32.exe", false}, // a missing file
        {"c:\\windows\\win.ini", true},       // not a program
        {"c:\\evil.exe", true},               // a Linux program named .exe
        {"c:\\evil.bat", true},               // a script named .bat
        {"c:\\sh.exe", false},                // a link to a host program
        {"c:\\evil.exe" + QString(QChar(0)) + "/bin/sh", false},
    };
    for (const auto& [path, isFile] : cases) {
        const Result<void> started = starter.start(path);
        EXPECT_FALSE(started.ok() || started.reason().isEmpty()) << path.toStdString();
        EXPECT_EQ(starter.fileExists(path), isFile) << path.toStdString();
    }
    EXPECT_TRUE(launcher.started().isEmpty());
}

} // namespace
} // namespace velmora
