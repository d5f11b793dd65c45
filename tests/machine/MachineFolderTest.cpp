#include "machine/MachineFolder.h"

#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

// A missing or empty folder is seeded with Windows 98, whole or not at all (that a machine is
// never seeded over, the drive rule table shows).
TEST(MachinePrepare, SeedsAnEmptyFolderWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const MachineFolder fresh(dir.path() + "/new/machine");
    ASSERT_TRUE(fresh.prepare());
    // Each line of the INI texts ends in CRLF, with no bare CR or LF.
    const QByteArray winIni = readBytes(fresh.driveC() + "/WINDOWS/WIN.INI");
    const QByteArray both = winIni + readBytes(fresh.driveC() + "/WINDOWS/SYSTEM.INI");
    EXPECT_TRUE(winIni.endsWith("\r\n") && both.count('\r') == both.count("\r\n") &&
                both.count('\n') == both.count('\r') && winIni.contains("\r\n\r\n[Ports]\r\n") &&
                winIni.contains("\r\nCOM1:=9600,n,8,1,x\r\n"));
    EXPECT_EQ(folderEntries(fresh.root()), (QStringList{"drive_c", "system.reg"}));

    // Seeding that fails midway (system.reg, larger than the files allowed here, cannot be
    // written) leaves nothing, so the next start seeds afresh instead of finding half a machine.
    const MachineFolder machine(dir.path() + "/empty");
    ASSERT_TRUE(QDir().mkpath(machine.root()));
    EXPECT_EQ(exitCodeUnderFileSizeLimit(
                  4096, [&] { return machine.prepare().reason().contains("could not be written") ? 1 : 0; }),
              1);
    EXPECT_EQ(folderEntries(machine.root()), QStringList());
    EXPECT_TRUE(machine.prepare()) << "the next start seeds afresh";
    EXPECT_EQ(folderEntries(machine.driveC() + "/WINDOWS"), (QStringList{"SYSTEM.INI", "WIN.INI"}));
}

// Windows paths against a drive C holding WINDOWS\WIN.INI, two folders whose names differ only in
// case, and links out of drive C, within it and to nowhere: the host path under drive_c, or
// nullptr and the reason.
TEST(MachinePaths, MapToDriveC)
{
    QTemporaryDir dir;
    const MachineFolder machine(dir.path());
    const QString c = machine.driveC();
    ASSERT_TRUE(writeBytes(c + "/WINDOWS/WIN.INI", "") && QDir().mkpath(c + "/Dup/abc") &&
                QDir().mkpath(c + "/Dup/ABC") && QDir().mkpath(dir.path() + "/outside"));
    ASSERT_TRUE(QFile::link(dir.path() + "/outside", c + "/OUT") && QFile::link(c + "/WINDOWS", c + "/WIN") &&
                QFile::link(dir.path() + "/gone", c + "/BROKEN"));
    const std::tuple<const char16_t*, const char*, const char*> cases[] = {
        {u"c:/Windows/Win.Ini", "/WINDOWS/WIN.INI", nullptr},
        {u"c:\\\\windows\\\\\\win.ini\\", "/WINDOWS/WIN.INI", nullptr}, // empty components collapse
        {u"c:\\windows \\win.ini.", "/WINDOWS/WIN.INI", nullptr},       // trailing dots and spaces
        {u"c:\\dup\\Abc", "/Dup/ABC", nullptr},                         // of case twins, the first in order
        {u"c:\\win\\win.ini", "/WIN/WIN.INI", nullptr},
        {u"c:\\out\\x.ini", nullptr, "the path leaves drive C"},
        {u"c:\\broken\\x.ini", nullptr, "broken link"},
        {u"c:\\windows\\...\\x", nullptr, "leaves drive C"}, // as ".." does
        {u"d:\\windows\\win.ini", nullptr, "drive D: is not on this machine"},
        {u"windows\\win.ini", nullptr, "not a full path"},
        {u"\\windows\\win.ini", nullptr, "names no drive"},
        {u"\\\\server\\share\\win.ini", nullptr, "network path"},
        {u"c:\\windows\\a:b", nullptr, "not a valid file name"},
    };
    for (const auto& [windowsPath, hostRelative, reason] : cases) {
        SCOPED_TRACE(QString::fromUtf16(windowsPath).toStdString());
        const Result<QString> host = machine.hostPath(QStringView(windowsPath));
        EXPECT_EQ(host ? *host : QString(), hostRelative ? c + hostRelative : QString());
        EXPECT_TRUE(host.reason().contains(QLatin1String(reason))) << host.reason().toStdString();
    }
}

// MSDOS.SYS as Windows 98 writes it: CRLF, an [Options] section and a long run of padding lines.
QByteArray msdosSys(const QByteArray& paths)
{
    return "[Paths]\r\n" + paths + "WinBootDir=C:\\WIN98\r\nHostWinBootDrv=C\r\n\r\n[Options]\r\n" +
           "BootGUI=1\r\nWinDir=C:\\WRONG\r\n;\r\n" + (";" + QByteArray(69, 'x') + "\r\n").repeated(18);
}

// A root with MSDOS.SYS (none when empty) and other files, separated by blanks ("name>target": a
// link), its registry file below the root (system.reg for a machine folder, whose Windows folder
// is drive_c/WINDOWS; else SYSTEM.DAT in the Windows folder), and what prepare() says (nullptr
// when the machine can be used). MSDOS.SYS is read whatever its line ends, a control character in
// WinDir= is shown (never cutting the message short), and something other than a file inside the
// drive in the place of MSDOS.SYS or SYSTEM.DAT is named for what it is.
TEST(MachineKinds, FollowTheDriveRule)
{
    const QByteArray noWinDir = msdosSys(""), win98 = "[Paths]\r\nWinDir=C:\\WIN98\r\n", none;
    const std::tuple<const char*, QByteArray, const char*, QString, const char*> cases[] = {
        {"DriveCWins", noWinDir, "drive_c/WINDOWS/X WINDOWS/SYSTEM.DAT", "system.reg", nullptr},
        {"AnyCase", msdosSys(" windir = c:\\win98 \r\n"), "Win98/system.dat WINDOWS/X", "Win98/system.dat",
         nullptr},
        {"NoWinDirMeansWindows", noWinDir, "WINDOWS/SYSTEM.DAT", "WINDOWS/SYSTEM.DAT", nullptr},
        {"NoMsdosSysButSystemDat", none, "windows/System.Dat", "windows/System.Dat", nullptr},
        {"WinDirNamesNoFolder", msdosSys("WinDir=C:\\WIN98\r\n"), "WINDOWS/SYSTEM.DAT", "WINDOWS/SYSTEM.DAT",
         "names the Windows folder C:\\WIN98 ([Paths] WinDir=), which does not"},
        {"DriveWithoutSystemDat", noWinDir, "WINDOWS/X", "WINDOWS/SYSTEM.DAT", "SYSTEM.DAT does not exist"},
        {"NoSystemDatIsAFolder", none, "WINDOWS/WIN.INI", "system.reg", nullptr},
        {"CarriageReturnsOnly", "[Paths]\rWinDir=C:\\WIN98\r[Options]\r", "WIN98/SYSTEM.DAT",
         "WIN98/SYSTEM.DAT", nullptr},
        {"MixedLineEnds", ";\n[Options]\rX=1\r\n[Paths]\nWinDir=C:\\WIN98", "WIN98/SYSTEM.DAT",
         "WIN98/SYSTEM.DAT", nullptr},
        {"NulInWinDir", QByteArray("[Paths]\r\nWinDir=C:\\WIN") + '\0' + "98\r\n", "WINDOWS/SYSTEM.DAT",
         "WINDOWS/SYSTEM.DAT",
         "the Windows folder C:\\WIN<0x00>98 ([Paths] WinDir=), which is not on this drive: "
         "\"WIN<0x00>98\" is not a valid file name"},
        {"MsdosSysLinkedOut", none, "MSDOS.SYS>../outside/MSDOS.SYS WINDOWS/SYSTEM.DAT", "WINDOWS/SYSTEM.DAT",
         "MSDOS.SYS cannot be read: the file is a link that leads out of the machine"},
        {"SystemDatLinkedToADevice", win98, "WIN98/SYSTEM.DAT>/dev/zero", "WIN98/SYSTEM.DAT",
         "SYSTEM.DAT cannot be read (the file is a link that leads out of the machine): without it"}};
    for (const auto& [name, msdos, files, registry, problem] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const QString root = dir.path() + "/root";
        ASSERT_TRUE(writeBytes(dir.path() + "/outside/MSDOS.SYS", win98) && QDir().mkpath(root));
        ASSERT_TRUE(msdos.isEmpty() || writeBytes(root + "/MSDOS.SYS", msdos));
        for (const QString& file : QString::fromLatin1(files).split(' ')) {
            const QStringList link = file.split('>');
            ASSERT_TRUE(link.size() == 2 ? QDir().mkpath(QFileInfo(root + '/' + link[0]).absolutePath()) &&
                                               QFile::link(link[1], root + '/' + link[0])
                                         : writeBytes(root + '/' + file, "h"));
        }
        const QStringList before = folderEntries(root);

        const MachineFolder machine(root);
        const bool folder = registry == "system.reg";
        EXPECT_EQ(machine.kind(), folder ? MachineFolder::Kind::Folder : MachineFolder::Kind::Drive);
        EXPECT_EQ(machine.windowsFolder(),
                  root + '/' + (folder ? "drive_c/WINDOWS" : QFileInfo(registry).path()));
        EXPECT_EQ(machine.registryFile(), root + '/' + registry);
        const Result<void> prepared = machine.prepare();
        EXPECT_TRUE(problem ? !prepared && prepared.reason().contains(problem) : prepared.ok())
            << prepared.reason().toStdString();
        EXPECT_EQ(folderEntries(root), before) << "nothing is seeded on a drive";
        // On a drive, "c:\windows\..." is its Windows folder, and nothing else is.
        const Result<QString> other = machine.hostPath(u"c:\\windowsx\\win.ini");
        EXPECT_EQ(other ? *other : other.reason(), machine.driveC() + "/windowsx/win.ini");
    }
}

} // namespace
} // namespace velmora
