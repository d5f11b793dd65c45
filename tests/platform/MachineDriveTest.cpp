#include "platform/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

// MSDOS.SYS as Windows 98 writes it: CRLF, an [Options] section and a long run of padding lines.
QByteArray msdosSys(const QByteArray& paths)
{
    return "[Paths]\r\n" + paths + "WinBootDir=C:\\WIN98\r\nHostWinBootDrv=C\r\n\r\n[Options]\r\n" +
           "BootGUI=1\r\nWinDir=C:\\WRONG\r\n;\r\n" + (";" + QByteArray(69, 'x') + "\r\n").repeated(18);
}

struct DriveCase {
    const char* name;
    const char* paths;    // MSDOS.SYS's [Paths] lines; nullptr: no MSDOS.SYS
    const char* files;    // other files, separated by blanks
    const char* windows;  // the Windows folder below the root (drive_c/... for a machine folder)
    const char* registry; // the registry file below the root: system.reg for a machine folder
    const char* problem;  // what prepare() says; nullptr when the machine can be used
};

class MachineKinds : public ::testing::TestWithParam<DriveCase> {};

TEST_P(MachineKinds, FollowTheDriveRule)
{
    const DriveCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(!c.paths || writeBytes(dir.path() + "/MSDOS.SYS", msdosSys(c.paths)));
    for (const QString& path : QString::fromLatin1(c.files).split(' '))
        ASSERT_TRUE(writeBytes(dir.path() + '/' + path, "h"));
    const QStringList before = folderEntries(dir.path());

    const MachineFolder machine(dir.path());
    EXPECT_EQ(machine.kind(), QByteArrayView(c.registry) == "system.reg" ? MachineFolder::Kind::Folder
                                                                         : MachineFolder::Kind::Drive);
    EXPECT_EQ(machine.windowsFolder(), dir.path() + '/' + c.windows);
    EXPECT_EQ(machine.registryFile(), dir.path() + '/' + c.registry);
    const Result<void> prepared = machine.prepare();
    EXPECT_TRUE(c.problem ? !prepared && prepared.reason().contains(c.problem) : prepared.ok())
        << prepared.reason().toStdString();
    EXPECT_EQ(folderEntries(dir.path()), before) << "nothing is seeded on a drive";
    // On a drive, "c:\windows\..." is its Windows folder, and nothing else is.
    const Result<QString> other = machine.hostPath(u"c:\\windowsx\\win.ini");
    EXPECT_EQ(other ? *other : other.reason(), machine.driveC() + "/windowsx/win.ini");
}

const DriveCase kDrives[] = {
    {"DriveCWins", "", "drive_c/WINDOWS/WIN.INI WINDOWS/SYSTEM.DAT", "drive_c/WINDOWS", "system.reg",
     nullptr},
    {"WinDirNamesTheFolderInAnyCase", " windir = c:\\win98 \r\n", "Win98/system.dat WINDOWS/WIN.INI", "Win98",
     "Win98/system.dat", nullptr},
    {"NoWinDirMeansWindows", "", "WINDOWS/SYSTEM.DAT", "WINDOWS", "WINDOWS/SYSTEM.DAT", nullptr},
    {"NoMsdosSysButSystemDat", nullptr, "windows/System.Dat", "windows", "windows/System.Dat", nullptr},
    {"WinDirNamesAMissingFolder", "WinDir=C:\\WIN98\r\n", "WINDOWS/SYSTEM.DAT", "WINDOWS",
     "WINDOWS/SYSTEM.DAT",
     "MSDOS.SYS names the Windows folder C:\\WIN98 ([Paths] WinDir=), which does not exist"},
    {"DriveWithoutSystemDat", "", "WINDOWS/WIN.INI", "WINDOWS", "WINDOWS/SYSTEM.DAT",
     "WINDOWS/SYSTEM.DAT does not exist"},
    {"WindowsFolderWithoutSystemDatIsAFolder", nullptr, "WINDOWS/WIN.INI", "drive_c/WINDOWS", "system.reg",
     nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, MachineKinds, ::testing::ValuesIn(kDrives),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
