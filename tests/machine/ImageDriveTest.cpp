#include "files/Drive.h"
#include "machine/MachineFolder.h"

#include "support/DiskImageFixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace velmora {
namespace {

using namespace velmora::testing;

const QByteArray kWinIni = "[Ports]\r\nCOM2:=9600,n,8,1,x\r\n";

// Drive C inside a raw disk, seen through the machine as every writer sees it.
TEST(ImageDriveTest, ReadsFilesAsFatNamesThem)
{
    QTemporaryDir dir;
    const QString image = buildImage(dir.path(), Format::Raw);
    const MachineFolder machine(image);
    ASSERT_EQ(machine.kind(), MachineFolder::Kind::Image);
    ASSERT_TRUE(machine.prepare(MachineFolder::Creation::MustExist));
    EXPECT_EQ(machine.registryFile(), QStringLiteral("WIN98\\SYSTEM.DAT"));
    struct Case {
        const char* name;
        const char* windowsPath;
        std::optional<QByteArray> bytes; // nothing: no file there
        const char* refusal;             // the read is refused, saying this
    };
    const Case cases[] = {
        {"the Windows folder named by MSDOS.SYS", "c:\\windows\\win.ini", kWinIni, nullptr},
        {"names in any case", "C:\\Win98\\Win.Ini", kWinIni, nullptr},
        {"a missing file", "c:\\windows\\modem.inf", std::nullopt, nullptr},
        {"a folder", "c:\\windows", std::nullopt, "a folder stands in the file's place"},
        {"a missing folder", "c:\\nowhere\\file.txt", std::nullopt, "does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<QString> path = machine.hostPath(QString::fromLatin1(c.windowsPath));
        ASSERT_TRUE(path) << path.reason().toStdString();
        const Result<Found<QByteArray>> read = machine.drive().readIfPresent(*path, 1 << 20);
        if (c.refusal) {
            ASSERT_FALSE(read);
            EXPECT_TRUE(read.reason().contains(c.refusal)) << read.reason().toStdString();
        } else {
            ASSERT_TRUE(read) << read.reason().toStdString();
            EXPECT_EQ(read->isPresent() ? std::optional(read->value) : std::nullopt, c.bytes);
        }
    }
}

// A save is refused, writing nothing, when it must not happen: the file is read-only, or a
// program opened the image after Velmora's last save (a virtual machine started on it meanwhile),
// raw or served by Velmora's own qemu-nbd. The refusal stands for as long as the reason does: a
// second try is refused too.
TEST(ImageDriveTest, ASaveIsRefusedWhenItMustNotHappen)
{
    struct Case {
        const char* name;
        Format format;
        const char* attributes; // of SYSTEM.DAT
        const char* file;
        bool holderStarts; // after a save that was allowed
        const char* refusal;
    };
    const Case cases[] = {
        {"read-only file", Format::Raw, "+r", "WIN98\\SYSTEM.DAT", false,
         "SYSTEM.DAT could not be written: the file is read-only"},
        {"raw image opened since", Format::Raw, "+h +s", "WIN98\\WIN.INI", true, "sleep"},
        {"qcow2 image opened since", Format::Qcow2, "+h +s", "WIN98\\WIN.INI", true, "sleep"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString image = buildImage(dir.path(), c.format, c.attributes);
        const MachineFolder machine(image);
        ASSERT_TRUE(machine.prepare(MachineFolder::Creation::MustExist));
        bool edited = false;
        const auto save = [&] {
            return machine.drive().edit(
                c.file,
                [&](const Found<QByteArray>&) -> Result<FileChange> {
                    edited = true;
                    return FileChange::replaceWith("changed");
                },
                ReadOnlyFile::Refused);
        };
        qint64 holder = 0; // not our child: a container's own qemu-nbd is, and does not count
        if (c.holderStarts) {
            const Result<void> allowed = save();
            ASSERT_TRUE(allowed) << allowed.reason().toStdString();
            edited = false;
            const Ran started = run("sh", {"-c", "sleep 60 < \"$0\" > /dev/null 2>&1 & echo $!", image});
            holder = started.out.trimmed().toLongLong();
            ASSERT_GT(holder, 0) << started.err.constData();
            QTest::qWait(200); // until sleep has the file open
        }
        const QByteArray before = readBytes(image);
        for (const char* attempt : {"first", "second"}) {
            SCOPED_TRACE(attempt);
            const Result<void> saved = save();
            ASSERT_FALSE(saved);
            EXPECT_TRUE(saved.reason().contains(c.refusal)) << saved.reason().toStdString();
        }
        if (holder > 0)
            ::kill(pid_t(holder), SIGKILL);
        EXPECT_FALSE(edited) << "neither is read for the edit (which may take a backup)";
        EXPECT_TRUE(readBytes(image) == before) << "the image was changed";
    }
}

// Another program (mtools: no lock, and gone before the save) rewrites a file after the image was
// opened, moving it to new clusters: the save is made on what it wrote, and the outside readers
// find a sound file system holding both changes.
TEST(ImageDriveTest, ASaveIsMadeOnWhatAnotherProgramWroteSinceOpening)
{
    QTemporaryDir dir;
    const QString image = buildImage(dir.path(), Format::Raw);
    const MachineFolder machine(image);
    ASSERT_TRUE(machine.prepare(MachineFolder::Creation::MustExist));
    const QByteArray theirs = QByteArray(5000, 'x') + "\r\n";
    ASSERT_TRUE(writeBytes(dir.filePath("WIN.INI"), theirs));
    expectRan(run("mcopy", {"-o", "-i", partitionOf(image), dir.filePath("WIN.INI"), "::WIN98/WIN.INI"}),
              "mcopy");
    const Result<void> saved = machine.drive().edit(
        "WIN98\\WIN.INI",
        [](const Found<QByteArray>& current) -> Result<FileChange> {
            return FileChange::replaceWith(current.value + "[ours]\r\n");
        },
        ReadOnlyFile::Refused);
    ASSERT_TRUE(saved) << saved.reason().toStdString();
    expectCleanFileSystem(image, dir.path());
    EXPECT_EQ(fileInImage(image, "WIN98/WIN.INI"), theirs + "[ours]\r\n");
}

} // namespace
} // namespace velmora
