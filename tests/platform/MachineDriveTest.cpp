#include "platform/MachineFolder.h"

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
    const char* paths;    // MSDOS.SYS's [Paths] lines; nullptr: no MSDOS.SYS
    const char* files;    // other files, separated by blanks
    const char* windows;  // the Windows folder below the root (drive_c/... for a machine folder)
    const char* registry; // the registry file below the root: system.reg for a machine folder
    const char* problem;  // what prepare() says; nullptr when the machine can be used
};

class MachineKinds : public ::testing::TestWithParam<DriveCase> {
protected:
    QTemporaryDir dir;
};

TEST_P(MachineKinds, FollowTheDriveRule)
{
    const DriveCase& c = GetParam();
    if (c.paths) {
        ASSERT_TRUE(writeBytes(dir.path() + "/MSDOS.SYS", msdosSys(c.paths)));
    }
    for (const QString& path : QString::fromLatin1(c.files).split(' '))
        ASSERT_TRUE(writeBytes(dir.path() + '/' + path, "h"));
    const QMap<QString, QByteArray> before = snapshot(dir.path());

    const MachineFolder machine(dir.path());
    EXPECT_EQ(machine.kind(), QByteArrayView(c.registry) == "system.reg" ? MachineFolder::Kind::Folder
                                                                         : MachineFolder::Kind::Drive);
    EXPECT_EQ(machine.windowsFolder(), dir.path() + '/' + c.windows);
    EXPECT_EQ(machine.registryFile(), dir.path() + '/' + c.registry);
    const Result<void> prepared = machine.prepare();
    const QString& reason = prepared.reason();
    EXPECT_EQ(prepared.ok(), c.problem == nullptr) << reason.toStdString();
    EXPECT_TRUE(reason.contains(QString::fromUtf8(c.problem ? c.problem : ""))) << reason.toStdString();
    EXPECT_EQ(snapshot(dir.path()), before) << "nothing is seeded or changed on a drive";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MachineKinds,
    ::testing::Values(
        DriveCase{"DriveCWins", "", "drive_c/WINDOWS/WIN.INI WINDOWS/SYSTEM.DAT", "drive_c/WINDOWS",
                  "system.reg", nullptr},
        DriveCase{"WinDirNamesTheFolderInAnyCase", " windir = c:\\win98 \r\n", "Win98/system.dat", "Win98",
                  "Win98/system.dat", nullptr},
        DriveCase{"NoWinDirMeansWindows", "", "WINDOWS/SYSTEM.DAT", "WINDOWS", "WINDOWS/SYSTEM.DAT", nullptr},
        DriveCase{"NoMsdosSysButSystemDat", nullptr, "windows/System.Dat", "windows", "windows/System.Dat",
                  nullptr},
        DriveCase{"WinDirNamesAMissingFolder", "WinDir=C:\\WIN98\r\n", "WINDOWS/SYSTEM.DAT", "WINDOWS",
                  "WINDOWS/SYSTEM.DAT",
                  "MSDOS.SYS names the Windows folder C:\\WIN98 ([Paths] WinDir=), which does not exist"},
        DriveCase{"DriveWithoutSystemDat", "", "WINDOWS/WIN.INI", "WINDOWS", "WINDOWS/SYSTEM.DAT",
                  "WINDOWS/SYSTEM.DAT does not exist"},
        DriveCase{"WindowsFolderWithoutSystemDatIsAFolder", nullptr, "WINDOWS/WIN.INI", "drive_c/WINDOWS",
                  "system.reg", nullptr}),
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
        ASSERT_TRUE(writeBytes(dir.path() + "/WINDOWS/WIN.INI", "stale")); // never the one used
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
                      DrivePathCase{"OtherFolders", u"c:\\windowsx\\win.ini", "/windowsx/win.ini"},
                      DrivePathCase{"RootOfTheDrive", u"c:\\autoexec.bat", "/autoexec.bat"}),
    [](const ::testing::TestParamInfo<DrivePathCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora
