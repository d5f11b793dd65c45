#include "machine/MachineFolder.h"

#include "files/FileLock.h"
#include "support/FileFixtures.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace velmora {
namespace {

using namespace testing;

// Each line of an INI text ends in CRLF, and there is no bare CR or LF.
bool allCrLf(const QByteArray& text)
{
    return text.endsWith("\r\n") && text.count("\r\n") == text.count('\n') &&
           text.count('\r') == text.count('\n');
}

// A missing or empty folder is seeded with Windows 98, whole or not at all (that a machine is
// never seeded over, the drive rule table shows).
TEST(MachinePrepare, SeedsAnEmptyFolderWholeOrNotAtAll)
{
    QTemporaryDir dir;
    const MachineFolder fresh(dir.path() + "/new/machine");
    ASSERT_TRUE(fresh.prepare());
    const QByteArray winIni = readBytes(fresh.driveC() + "/WINDOWS/WIN.INI");
    EXPECT_TRUE(allCrLf(winIni) && allCrLf(readBytes(fresh.driveC() + "/WINDOWS/SYSTEM.INI")));
    EXPECT_TRUE(winIni.contains("\r\n\r\n[Ports]\r\n") && winIni.contains("\r\nCOM1:=9600,n,8,1,x\r\n"));
    EXPECT_EQ(folderEntries(fresh.root()), (QStringList{"drive_c", "system.reg"}));

    // Seeding is held up before system.reg, and another program puts a link to nowhere in its
    // place: the seeding fails, and what it leaves goes, that link too (the folder was empty, so
    // all in it is the seeding's), so the next start seeds afresh instead of finding half a machine.
    const MachineFolder machine(dir.path() + "/empty");
    ASSERT_TRUE(QDir().mkpath(machine.root()));
    FileLock held(machine.root(), FileLock::On::Folder);
    ASSERT_TRUE(held.lock());
    std::atomic<bool> returned = false; // should the seeding fail sooner, nothing is held up
    std::thread other([&] {
        while (!QFileInfo::exists(machine.driveC() + "/WINDOWS/SYSTEM.INI") && !returned)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QFile::link(dir.path() + "/nowhere", machine.root() + "/system.reg");
        held.unlock();
    });
    const Result<void> failed = machine.prepare();
    returned = true;
    other.join();
    EXPECT_TRUE(!failed && failed.reason().contains("could not be written")) << failed.reason().toStdString();
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
        {u"c:\\", "", nullptr},
        {u"c:\\dup\\Abc", "/Dup/ABC", nullptr}, // of case twins, the first in order
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

// A root with MSDOS.SYS holding these [Paths] lines (nullptr: no MSDOS.SYS) and other files
// (separated by blanks), its Windows folder and registry file below the root (drive_c/WINDOWS and
// system.reg for a machine folder), and what prepare() says (nullptr when the machine can be used).
TEST(MachineKinds, FollowTheDriveRule)
{
    // Name, [Paths] lines, files, Windows folder, registry file, and what prepare() says.
    const std::tuple<const char*, const char*, const char*, const char*, const char*, const char*> cases[] = {
        {"DriveCWins", "", "drive_c/WINDOWS/X WINDOWS/SYSTEM.DAT", "drive_c/WINDOWS", "system.reg", nullptr},
        {"AnyCase", " windir = c:\\win98 \r\n", "Win98/system.dat WINDOWS/X", "Win98", "Win98/system.dat",
         nullptr},
        {"NoWinDirMeansWindows", "", "WINDOWS/SYSTEM.DAT", "WINDOWS", "WINDOWS/SYSTEM.DAT", nullptr},
        {"NoMsdosSysButSystemDat", nullptr, "windows/System.Dat", "windows", "windows/System.Dat", nullptr},
        {"WinDirNamesNoFolder", "WinDir=C:\\WIN98\r\n", "WINDOWS/SYSTEM.DAT", "WINDOWS", "WINDOWS/SYSTEM.DAT",
         "names the Windows folder C:\\WIN98 ([Paths] WinDir=), which does not"},
        {"DriveWithoutSystemDat", "", "WINDOWS/X", "WINDOWS", "WINDOWS/SYSTEM.DAT",
         "SYSTEM.DAT does not exist"},
        {"NoSystemDatIsAFolder", nullptr, "WINDOWS/WIN.INI", "drive_c/WINDOWS", "system.reg", nullptr},
    };
    for (const auto& [name, paths, files, windows, registry, problem] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        ASSERT_TRUE(!paths || writeBytes(dir.path() + "/MSDOS.SYS", msdosSys(paths)));
        for (const QString& path : QString::fromLatin1(files).split(' '))
            ASSERT_TRUE(writeBytes(dir.path() + '/' + path, "h"));
        const QStringList before = folderEntries(dir.path());

        const MachineFolder machine(dir.path());
        EXPECT_EQ(machine.kind(), QByteArrayView(registry) == "system.reg" ? MachineFolder::Kind::Folder
                                                                           : MachineFolder::Kind::Drive);
        EXPECT_EQ(machine.windowsFolder(), dir.path() + '/' + windows);
        EXPECT_EQ(machine.registryFile(), dir.path() + '/' + registry);
        const Result<void> prepared = machine.prepare();
        EXPECT_TRUE(problem ? !prepared && prepared.reason().contains(problem) : prepared.ok())
            << prepared.reason().toStdString();
        EXPECT_EQ(folderEntries(dir.path()), before) << "nothing is seeded on a drive";
        // On a drive, "c:\windows\..." is its Windows folder, and nothing else is.
        const Result<QString> other = machine.hostPath(u"c:\\windowsx\\win.ini");
        EXPECT_EQ(other ? *other : other.reason(), machine.driveC() + "/windowsx/win.ini");
    }
}

// A drive's own files as they may be found: MSDOS.SYS with any line ending, a control character
// in WinDir= (shown, never cutting the message short), and something other than a file, or a
// link out of the drive, in the place of MSDOS.SYS or SYSTEM.DAT (named for what it is).
TEST(MachineKinds, DriveFilesAreReadWhateverTheirLineEndsAndOnlyInsideTheDrive)
{
    const QByteArray win98 = "[Paths]\r\nWinDir=C:\\WIN98\r\n";
    // MSDOS.SYS (nullptr: a link out of the drive), what stands as SYSTEM.DAT (f: a file, p: a
    // FIFO, d: a link to a device), the Windows folder found, and what prepare() says.
    const std::tuple<const char*, QByteArray, char, const char*, const char*> cases[] = {
        {"CarriageReturnsOnly", "[Paths]\rWinDir=C:\\WIN98\r[Options]\r", 'f', "WIN98", nullptr},
        {"MixedLineEnds", ";\n[Options]\rX=1\r\n[Paths]\nWinDir=C:\\WIN98", 'f', "WIN98", nullptr},
        {"NulInWinDir", QByteArray("[Paths]\r\nWinDir=C:\\WIN") + '\0' + "98\r\n", 'f', "WINDOWS",
         "the Windows folder C:\\WIN<0x00>98 ([Paths] WinDir=), which is not on this drive: "
         "\"WIN<0x00>98\" is not a valid file name"},
        {"MsdosSysLinkedOut", nullptr, 'f', "WINDOWS",
         "MSDOS.SYS cannot be read: the file is a link that leads out of the machine"},
        {"SystemDatAFifo", win98, 'p', "WIN98",
         "SYSTEM.DAT cannot be read (it is not an ordinary file but a FIFO): without it"},
        {"SystemDatLinkedToADevice", win98, 'd', "WIN98",
         "SYSTEM.DAT cannot be read (the file is a link that leads out of the machine)"}};
    for (const auto& [label, msdosSys, systemDat, windows, problem] : cases) {
        SCOPED_TRACE(label);
        QTemporaryDir dir;
        const QString root = dir.path() + "/drive", registry = root + "/WIN98/SYSTEM.DAT";
        ASSERT_TRUE(writeBytes(root + "/WINDOWS/SYSTEM.DAT", "h") && QDir().mkpath(root + "/WIN98") &&
                    writeBytes(dir.path() + "/outside/MSDOS.SYS", win98));
        ASSERT_TRUE(msdosSys.isNull() ? QFile::link(dir.path() + "/outside/MSDOS.SYS", root + "/MSDOS.SYS")
                                      : writeBytes(root + "/MSDOS.SYS", msdosSys));
        ASSERT_TRUE(systemDat == 'f'   ? writeBytes(registry, "h")
                    : systemDat == 'p' ? ::mkfifo(QFile::encodeName(registry).constData(), 0600) == 0
                                       : QFile::link("/dev/zero", registry));
        const MachineFolder machine(root);
        EXPECT_EQ(machine.kind(), MachineFolder::Kind::Drive);
        const Result<void> prepared = machine.prepare();
        EXPECT_TRUE(problem ? !prepared && prepared.reason().contains(problem) : prepared.ok())
            << prepared.reason().toStdString();
        if (!problem || QByteArrayView(label).startsWith("SystemDat")) {
            EXPECT_EQ(machine.windowsFolder(), root + '/' + windows);
        }
    }
}

} // namespace
} // namespace velmora
