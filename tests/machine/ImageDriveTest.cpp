#include "files/Drive.h"
#include "machine/MachineFolder.h"

#include "support/DiskImageFixtures.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace velmora {
namespace {

using namespace velmora::testing;

// A save is refused, writing nothing, when it must not happen: the file is read-only, or a
// program opened the image after Velmora's last save (a virtual machine started on it meanwhile),
// raw or served by Velmora's own qemu-nbd. The refusal stands for as long as the reason does: a
// second try is refused too.
TEST(ImageDriveTest, ASaveIsRefusedWhenItMustNotHappen)
{
    // Whether a program opens the image after a save that was allowed (then WIN.INI is saved, else
    // SYSTEM.DAT, which is read-only), and a part of the refusal.
    const std::tuple<const char*, Format, bool, const char*> cases[] = {
        {"read-only file", Format::Raw, false, "SYSTEM.DAT could not be written: the file is read-only"},
        {"raw image opened since", Format::Raw, true, "sleep"},
        {"qcow2 image opened since", Format::Qcow2, true, "sleep"},
    };
    for (const auto& [name, format, holderStarts, refusal] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const QString image = buildImage(dir.path(), format);
        const MachineFolder machine(image);
        ASSERT_TRUE(machine.prepare(MachineFolder::Creation::MustExist));
        int edits = 0;
        const FileEdit edit = [&](const Found<QByteArray>&) {
            ++edits;
            return FileChange::replaceWith("new");
        };
        const auto save = [&] {
            return machine.drive().edit(holderStarts ? "WIN98\\WIN.INI" : "WIN98\\SYSTEM.DAT", edit,
                                        ReadOnlyFile::Refused);
        };
        qint64 holder = 0; // not our child: a container's own qemu-nbd is, and does not count
        if (holderStarts) {
            const Result<void> allowed = save();
            ASSERT_TRUE(allowed) << allowed.reason().toStdString();
            const Ran started = run("sh", {"-c", "sleep 60 < \"$0\" > /dev/null 2>&1 & echo $!", image});
            holder = started.out.trimmed().toLongLong();
            ASSERT_GT(holder, 0) << started.err.constData();
            QTest::qWait(200); // until sleep has the file open
        }
        const QByteArray before = readBytes(image);
        for (int attempt = 0; attempt < 2; ++attempt) {
            const Result<void> saved = save();
            EXPECT_TRUE(!saved && saved.reason().contains(refusal)) << saved.reason().toStdString();
        }
        if (holder > 0)
            ::kill(pid_t(holder), SIGKILL);
        EXPECT_EQ(edits, holderStarts ? 1 : 0) << "neither is read for the edit (which may take a backup)";
        EXPECT_TRUE(readBytes(image) == before) << "the image was changed";
    }
}

// Another program (mtools: no lock, and gone before the save) rewrites a file after the image was
// opened, moving it to new clusters: the save is made on what it wrote, and the outside readers
// find a sound file system holding both changes. (A folder in a file's place is never read as one.)
TEST(ImageDriveTest, ASaveIsMadeOnWhatAnotherProgramWroteSinceOpening)
{
    QTemporaryDir dir;
    const QString image = buildImage(dir.path(), Format::Raw);
    const MachineFolder machine(image);
    ASSERT_TRUE(machine.prepare(MachineFolder::Creation::MustExist));
    EXPECT_EQ(machine.drive().readIfPresent("WIN98", 1 << 20).reason(),
              "a folder stands in the file's place");
    const QByteArray theirs = QByteArray(5000, 'x') + "\r\n";
    ASSERT_TRUE(writeBytes(dir.filePath("WIN.INI"), theirs));
    expectRan(run("mcopy", {"-o", "-i", partitionOf(image), dir.filePath("WIN.INI"), "::WIN98/WIN.INI"}),
              "mcopy");
    const Result<void> saved = machine.drive().edit(
        "WIN98\\WIN.INI",
        [](const Found<QByteArray>& current) {
            return FileChange::replaceWith(current.value + "[ours]\r\n");
        },
        ReadOnlyFile::Refused);
    ASSERT_TRUE(saved) << saved.reason().toStdString();
    expectCleanFileSystem(image, dir.path());
    EXPECT_EQ(fileInImage(image, "WIN98/WIN.INI"), theirs + "[ours]\r\n");
}

// Of two FAT partitions, drive C is the one holding Windows, though the other is the active one.
TEST(ImageDriveTest, DriveCIsThePartitionHoldingWindows)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("two.img"), second = image + "@@" + QString::number(20480 * 512);
    ASSERT_TRUE(writeBytes(image, {}) && QFile::resize(image, 40 << 20) &&
                writeBytes(dir.filePath("WIN.INI"), "[Ports]\r\n") &&
                writeBytes(dir.filePath("SYSTEM.DAT"), hiveFile("SYSTEM.DAT")));
    expectRan(run("sfdisk", {"-q", image}, "start=63, size=20417, type=6, bootable\nstart=20480, type=6\n"),
              "sfdisk");
    for (const QStringList& step :
         {QStringList{"mkfs.fat", "-F", "16", "--offset", "63", image, "10208"},
          {"mkfs.fat", "-F", "16", "--offset", "20480", image, "30720"},
          {"mmd", "-i", second, "::WINDOWS"},
          {"mcopy", "-i", second, dir.filePath("WIN.INI"), dir.filePath("SYSTEM.DAT"), "::WINDOWS"}})
        expectRan(run(step.front(), step.mid(1)), "mtools");
    const MachineFolder machine(image);
    const Result<void> prepared = machine.prepare(MachineFolder::Creation::MustExist);
    ASSERT_TRUE(prepared) << prepared.reason().toStdString();
    const Result<Found<QByteArray>> winIni = machine.drive().readIfPresent("WINDOWS\\WIN.INI", 1 << 20);
    EXPECT_TRUE(winIni && winIni->value == "[Ports]\r\n") << winIni.reason().toStdString();
}

} // namespace
} // namespace velmora
