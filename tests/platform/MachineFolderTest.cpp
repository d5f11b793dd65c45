#include "platform/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::folderEntries;
using testing::readBytes;
using testing::writeBytes;

// Each line of an INI text ends in CRLF, and there is no bare CR or LF.
bool allCrLf(const QByteArray& text)
{
    return text.endsWith("\r\n") && text.count("\r\n") == text.count('\n') &&
           text.count('\r') == text.count('\n');
}

class MachinePrepare : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

TEST_F(MachinePrepare, SeedsAMissingFolderWithWindows98)
{
    const MachineFolder machine(dir.path() + "/new/machine");
    const Result<void> prepared = machine.prepare();
    ASSERT_TRUE(prepared) << prepared.reason().toStdString();

    const QByteArray winIni = readBytes(machine.driveC() + "/WINDOWS/WIN.INI");
    EXPECT_TRUE(allCrLf(winIni) && allCrLf(readBytes(machine.driveC() + "/WINDOWS/SYSTEM.INI")));
    EXPECT_TRUE(winIni.contains("\r\n\r\n[Ports]\r\n") && winIni.contains("\r\nCOM1:=9600,n,8,1,x\r\n"));
}

TEST_F(MachinePrepare, LeavesAnExistingMachineAlone)
{
    ASSERT_TRUE(writeBytes(dir.path() + "/drive_c/WINDOWS/WIN.INI", "mine"));
    const MachineFolder machine(dir.path());
    ASSERT_TRUE(machine.prepare());
    EXPECT_EQ(readBytes(dir.path() + "/drive_c/WINDOWS/WIN.INI"), QByteArray("mine"));
    EXPECT_EQ(folderEntries(dir.path() + "/drive_c/WINDOWS"), QStringList{"WIN.INI"});
}

// The folder exists but is empty: a seeding that fails part-way leaves it so.
TEST_F(MachinePrepare, FailedSeedingLeavesTheFolderEmpty)
{
    const MachineFolder machine(dir.path());
    // Too small for WIN.INI: the write fails part-way.
    const int code = testing::exitCodeUnderFileSizeLimit(100, [&] {
        const Result<void> prepared = machine.prepare();
        return !prepared && prepared.reason().contains("could not be written") &&
                       prepared.reason().contains("File too large")
                   ? 0
                   : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(folderEntries(dir.path()), QStringList());
    EXPECT_TRUE(machine.prepare()) << "the next start seeds afresh";
    EXPECT_EQ(folderEntries(machine.driveC() + "/WINDOWS"), (QStringList{"SYSTEM.INI", "WIN.INI"}));
}

// Windows paths against a drive C holding WINDOWS\WIN.INI.
struct PathCase {
    const char* name;
    const char16_t* windowsPath;
    const char* hostRelative; // under drive_c; nullptr when refused
    const char* reason;
};

class MachinePaths : public ::testing::TestWithParam<PathCase> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeBytes(machine.driveC() + "/WINDOWS/WIN.INI", ""));
        ASSERT_TRUE(QDir().mkpath(machine.driveC() + "/Dup/abc"));
        ASSERT_TRUE(QDir().mkpath(machine.driveC() + "/Dup/ABC"));
    }
    QTemporaryDir dir;
    MachineFolder machine{dir.path()};
};

TEST_P(MachinePaths, MapToDriveC)
{
    const PathCase& c = GetParam();
    const Result<QString> host = machine.hostPath(QStringView(c.windowsPath));
    const QString& reason = host.reason();
    if (c.hostRelative) {
        ASSERT_TRUE(host) << reason.toStdString();
        EXPECT_EQ(*host, machine.driveC() + QString::fromUtf8(c.hostRelative));
    } else {
        EXPECT_FALSE(host) << host->toStdString();
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << reason.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MachinePaths,
    ::testing::Values(
        PathCase{"ForwardSlashes", u"c:/Windows/Win.Ini", "/WINDOWS/WIN.INI", nullptr},
        PathCase{"EmptyComponentsCollapse", u"c:\\\\windows\\\\\\win.ini\\", "/WINDOWS/WIN.INI", nullptr},
        PathCase{"TrailingDotsAndSpacesIgnored", u"c:\\windows \\win.ini.", "/WINDOWS/WIN.INI", nullptr},
        PathCase{"RootOfDriveC", u"c:\\", "", nullptr},
        PathCase{"CaseTwinsGiveTheFirstInOrder", u"c:\\dup\\Abc", "/Dup/ABC", nullptr},
        PathCase{"DotDot", u"c:\\windows\\..\\win.ini", nullptr, "leaves drive C"},
        PathCase{"ThreeDots", u"c:\\windows\\...\\x", nullptr, "leaves drive C"},
        PathCase{"OtherDrive", u"d:\\windows\\win.ini", nullptr, "drive D: is not on this machine"},
        PathCase{"Relative", u"windows\\win.ini", nullptr, "not a full path"},
        PathCase{"NoDrive", u"\\windows\\win.ini", nullptr, "names no drive"},
        PathCase{"Network", u"\\\\server\\share\\win.ini", nullptr, "network path"},
        PathCase{"ColonInName", u"c:\\windows\\a:b", nullptr, "not a valid file name"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

TEST_F(MachinePrepare, LinksMayNotLeadOutOfDriveC)
{
    const MachineFolder machine(dir.path() + "/machine");
    ASSERT_TRUE(QDir().mkpath(machine.driveC() + "/WINDOWS"));
    ASSERT_TRUE(QDir().mkpath(dir.path() + "/outside"));
    ASSERT_TRUE(QFile::link(dir.path() + "/outside", machine.driveC() + "/OUT"));
    ASSERT_TRUE(QFile::link(machine.driveC() + "/WINDOWS", machine.driveC() + "/WIN"));
    ASSERT_TRUE(QFile::link(dir.path() + "/gone", machine.driveC() + "/BROKEN"));

    const Result<QString> out = machine.hostPath(u"c:\\out\\x.ini");
    EXPECT_FALSE(out);
    EXPECT_EQ(out.reason(), QStringLiteral("the path leaves drive C"));
    EXPECT_FALSE(machine.hostPath(u"c:\\broken\\x.ini"));
    const Result<QString> inside = machine.hostPath(u"c:\\win\\win.ini");
    EXPECT_EQ(inside ? *inside : inside.reason(), machine.driveC() + "/WIN/win.ini");
}

} // namespace
} // namespace velmora
