#include "platform/MachineFolder.h"
#include "platform/ProfileWriter.h"

#include "support/FileFixtures.h"

#include <QDirIterator>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace velmora {
namespace {

using testing::readBytes;
using testing::writeBytes;

// MSDOS.SYS as Windows 98 writes it: CRLF, an [Options] section and a long run of padding lines.
QByteArray msdosSys(const QByteArray& paths)
{
    QByteArray text = "[Paths]\r\n" + paths +
                      "WinBootDir=C:\\WIN98\r\nHostWinBootDrv=C\r\n\r\n[Options]\r\n"
                      "BootGUI=1\r\nWinDir=C:\\WRONG\r\n;\r\n";
    for (int i = 0; i < 18; ++i)
        text += ";" + QByteArray(69, 'x') + "\r\n";
    return text;
}

// Every file below folder with its bytes.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, readBytes(path));
    }
    return files;
}

struct DriveCase {
    const char* name;
    std::vector<std::pair<const char*, QByteArray>> files;
    MachineFolder::Kind kind;
    const char* windows;  // the Windows folder below the root (drive_c/... for a machine folder)
    const char* registry; // the registry file below the root
    const char* problem;  // what prepare() says; nullptr when the machine can be used
};

class MachineKinds : public ::testing::TestWithParam<DriveCase> {
protected:
    QTemporaryDir dir;
};

TEST_P(MachineKinds, FollowTheDriveRule)
{
    const DriveCase& c = GetParam();
    for (const auto& [path, bytes] : c.files)
        ASSERT_TRUE(writeBytes(dir.path() + '/' + path, bytes));
    const QMap<QString, QByteArray> before = snapshot(dir.path());

    const MachineFolder machine(dir.path());
    EXPECT_EQ(machine.kind(), c.kind);
    EXPECT_EQ(machine.windowsFolder(), dir.path() + '/' + c.windows);
    EXPECT_EQ(machine.registryFile(), dir.path() + '/' + c.registry);
    const Result<void> prepared = machine.prepare();
    const QString& reason = prepared.reason();
    EXPECT_EQ(prepared.ok(), c.problem == nullptr) << reason.toStdString();
    if (c.problem) {
        EXPECT_TRUE(reason.contains(QString::fromUtf8(c.problem))) << reason.toStdString();
    }
    EXPECT_EQ(snapshot(dir.path()), before) << "nothing is seeded or changed on a drive";
}

using Kind = MachineFolder::Kind;
INSTANTIATE_TEST_SUITE_P(
    Cases, MachineKinds,
    ::testing::Values(
        DriveCase{
            "DriveCWins",
            {{"drive_c/WINDOWS/WIN.INI", "x"}, {"MSDOS.SYS", msdosSys("")}, {"WINDOWS/SYSTEM.DAT", "h"}},
            Kind::Folder,
            "drive_c/WINDOWS",
            "system.reg",
            nullptr},
        DriveCase{"WinDirNamesTheFolderInAnyCase",
                  {{"msdos.sys", msdosSys(" windir = c:\\win98 \r\n")}, {"Win98/system.dat", "h"}},
                  Kind::Drive,
                  "Win98",
                  "Win98/system.dat",
                  nullptr},
        DriveCase{"NoWinDirMeansWindows",
                  {{"MSDOS.SYS", msdosSys("")}, {"WINDOWS/SYSTEM.DAT", "h"}},
                  Kind::Drive,
                  "WINDOWS",
                  "WINDOWS/SYSTEM.DAT",
                  nullptr},
        DriveCase{"NoMsdosSysButSystemDat",
                  {{"windows/System.Dat", "h"}},
                  Kind::Drive,
                  "windows",
                  "windows/System.Dat",
                  nullptr},
        DriveCase{"WinDirNamesAMissingFolder",
                  {{"MSDOS.SYS", msdosSys("WinDir=C:\\WIN98\r\n")}, {"WINDOWS/SYSTEM.DAT", "h"}},
                  Kind::Drive,
                  "WINDOWS",
                  "WINDOWS/SYSTEM.DAT",
                  "MSDOS.SYS names the Windows folder C:\\WIN98 ([Paths] WinDir=), which does not exist"},
        DriveCase{"WinDirOnAnotherDrive",
                  {{"MSDOS.SYS", msdosSys("WinDir=D:\\WINDOWS\r\n")}, {"WINDOWS/SYSTEM.DAT", "h"}},
                  Kind::Drive,
                  "WINDOWS",
                  "WINDOWS/SYSTEM.DAT",
                  "drive D: is not on this machine"},
        DriveCase{"DriveWithoutSystemDat",
                  {{"MSDOS.SYS", msdosSys("")}, {"WINDOWS/WIN.INI", "x"}},
                  Kind::Drive,
                  "WINDOWS",
                  "WINDOWS/SYSTEM.DAT",
                  "WINDOWS/SYSTEM.DAT does not exist"},
        DriveCase{"WindowsFolderWithoutSystemDatIsAFolder",
                  {{"WINDOWS/WIN.INI", "x"}},
                  Kind::Folder,
                  "drive_c/WINDOWS",
                  "system.reg",
                  nullptr}),
    [](const ::testing::TestParamInfo<DriveCase>& info) { return std::string(info.param.name); });

// On a drive whose Windows folder is C:\WIN98, "c:\windows\..." is that folder.
struct DrivePathCase {
    const char* name;
    const char16_t* windowsPath;
    const char* hostRelative;
};

class DrivePaths : public ::testing::TestWithParam<DrivePathCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeBytes(dir.path() + "/MSDOS.SYS", msdosSys("WinDir=C:\\WIN98\r\n")));
        ASSERT_TRUE(writeBytes(dir.path() + "/WIN98/SYSTEM.DAT", "h"));
        ASSERT_TRUE(writeBytes(dir.path() + "/WINDOWS/WIN.INI", "stale"));
    }
    QTemporaryDir dir;
};

TEST_P(DrivePaths, LeadIntoTheRealWindowsFolder)
{
    const MachineFolder machine(dir.path());
    const Result<QString> host = machine.hostPath(QStringView(GetParam().windowsPath));
    EXPECT_EQ(host ? *host : host.reason(), dir.path() + QString::fromUtf8(GetParam().hostRelative));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrivePaths,
    ::testing::Values(DrivePathCase{"WindowsFolder", u"c:\\windows\\win.ini", "/WIN98/win.ini"},
                      DrivePathCase{"AnySpelling", u"C:/.\\Windows.\\System\\x", "/WIN98/System/x"},
                      DrivePathCase{"OtherFolders", u"c:\\windowsx\\win.ini", "/windowsx/win.ini"},
                      DrivePathCase{"RootOfTheDrive", u"c:\\autoexec.bat", "/autoexec.bat"}),
    [](const ::testing::TestParamInfo<DrivePathCase>& info) { return std::string(info.param.name); });

TEST_F(DrivePaths, WritesGoWhereWindowsReads)
{
    const MachineFolder machine(dir.path());
    ProfileWriter writer(machine);
    ASSERT_NE(writer.WritePrivateProfileStringA("Ports", "COM1:", "9600,n,8,1", "c:\\windows\\win.ini"), 0)
        << writer.lastError().toStdString();
    EXPECT_EQ(readBytes(dir.path() + "/WIN98/win.ini"), QByteArray("[Ports]\r\nCOM1:=9600,n,8,1\r\n"));
    EXPECT_EQ(readBytes(dir.path() + "/WINDOWS/WIN.INI"), QByteArray("stale"));
}

} // namespace
} // namespace velmora
