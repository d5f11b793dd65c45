#include "journal/Checksum.h"
#include "journal/JournalRecovery.h"
#include "journal/StagedDevice.h"
#include "journal/UndoJournal.h"

#include "disk/DiskTools.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <functional>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

// The undo journal that makes a save of a disk image all or nothing: its format, the staged save
// that writes it, the recovery that plays it back, and real kills in the middle of a save.
namespace velmora {
namespace {

using namespace testing;

UndoRecord record(qint64 offset, qsizetype length)
{
    UndoRecord r{offset, QByteArray(length, char(offset)), {}};
    for (qsizetype s = 0; s < length; s += kSectorSize)
        r.newSectorChecksums.append(quint32(offset + s));
    return r;
}

// A crash while the journal was written leaves any prefix of it; damage changes any byte (the
// checksum guarding it is CRC-32C, so a journal an earlier version left reads back too).
TEST(UndoJournal, OnlyTheWholeJournalReadsBack)
{
    EXPECT_EQ(crc32c("123456789"), 0xE3069283u);
    const UndoJournal journal{5000, {record(512, 1024), record(4608, 392)}};
    const QByteArray whole = encodeUndoJournal(journal);
    EXPECT_EQ(*decodeUndoJournal(whole), journal);
    for (qsizetype at = 0; at < whole.size(); ++at) {
        EXPECT_FALSE(decodeUndoJournal(whole.first(at))) << "cut at " << at;
        QByteArray damaged = whole;
        damaged[at] = char(damaged[at] ^ 0x10);
        EXPECT_FALSE(decodeUndoJournal(damaged)) << "byte " << at;
    }
    EXPECT_FALSE(decodeUndoJournal(whole + QByteArray(512, '\0'))) << "zeros after it";
}

TEST(UndoJournal, FitsOnlyItsOwnDevice)
{
    const qint64 huge = std::numeric_limits<qint64>::max() - 511;
    const std::tuple<const char*, QList<UndoRecord>, bool> rows[] = {
        {"whole sectors and a short last one", {record(0, 512), record(4608, 392)}, true},
        {"past the end", {record(4608, 512)}, false},
        {"far past the end", {record(huge, 512)}, false},
        {"off the sector grid", {record(100, 512)}, false},
        {"short before the end", {record(0, 100)}, false},
        {"overlapping", {record(0, 1024), record(512, 512)}, false},
    };
    for (const auto& [name, records, fits] : rows) {
        const Result<UndoJournal> decoded = decodeUndoJournal(encodeUndoJournal({5000, records}));
        EXPECT_EQ(checkJournalFits(*decoded, 5000).ok(), fits) << name;
    }
}

// Reached through a link from another folder, an image still has its one journal.
TEST(UndoJournal, LivesBesideTheImageFileItself)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("win98.img");
    QFile(image).open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir("links");
    ASSERT_TRUE(QFile::link(image, dir.filePath("links/c.img")));
    EXPECT_EQ(undoJournalPath(dir.filePath("links/c.img")), undoJournalPath(image));
}

// An odd-sized image (its last sector is short) and a save that changes part of one sector, a
// run across a sector boundary and the device's last bytes.
struct Image {
    QTemporaryDir dir;
    QString path = dir.filePath("win98.img");
    QString journal = undoJournalPath(path);
    QByteArray old = patterned(5000, 5), saved = old;
    const QList<std::pair<qint64, QByteArray>> changes = {
        {10, "new boot code"}, {1500, QByteArray(1200, 'F')}, {4990, "last bytes"}};

    Image()
    {
        writeBytes(path, old);
        for (const auto& [offset, bytes] : changes)
            saved.replace(offset, bytes.size(), bytes);
    }
    // The save through `file`, its journal at `journalPath`.
    Result<void> save(FileDevice& file, const QString& journalPath) const
    {
        StagedDevice staged(file, journalPath);
        for (const auto& [offset, bytes] : changes)
            EXPECT_TRUE(staged.write(offset, bytes));
        return staged.commit();
    }
    // The journal a save leaves when killed before its first write to the image.
    QByteArray leaveJournal() const
    {
        FileDevice file(path);
        file.operationsLeft = 0;
        EXPECT_FALSE(save(file, journal));
        return readBytes(journal);
    }
};

// A kill after every number of writes and flushes of a save, and again while it is undone:
// reopening leaves the old bytes or, once the save finished, the new ones.
TEST(StagedDevice, AKillAtAnyPointLeavesTheOldOrTheNewImage)
{
    for (int survived = 0;; ++survived) {
        Image image;
        FileDevice file(image.path);
        file.operationsLeft = survived;
        const Result<void> committed = image.save(file, image.journal);
        if (!file.died()) {
            ASSERT_TRUE(committed) << committed.reason().toStdString();
            EXPECT_EQ(readBytes(image.path), image.saved);
            EXPECT_FALSE(QFileInfo::exists(image.journal));
            break;
        }
        EXPECT_FALSE(committed);
        for (int recoverySurvived = 0;; ++recoverySurvived) {
            FileDevice reopened(image.path);
            reopened.operationsLeft = recoverySurvived;
            const Result<SaveRecovery> recovered = recoverInterruptedSave(reopened, image.journal);
            ASSERT_EQ(recovered.ok(), !reopened.died());
            if (recovered) {
                EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::PutBack);
                EXPECT_EQ(
                    recovered->notice,
                    u"win98.img: a save was interrupted; the image was put back as it was before that save");
                break;
            }
        }
        EXPECT_EQ(readBytes(image.path), image.old) << "killed after " << survived;
        EXPECT_FALSE(QFileInfo::exists(image.journal));
    }
}

// A journal cut short (a kill while it was written) is dropped and the untouched image left
// alone; one that cannot be trusted to fit the image is kept and the image refused, untouched.
TEST(StagedDevice, AJournalLeftBehindIsDroppedOrRefusedButNeverPlayedBlindly)
{
    // A part of the refusal (nullptr: dropped), and what spoils the journal.
    const std::pair<const char*, std::function<void(Image&)>> rows[] = {
        {nullptr, [](Image& image) { writeBytes(image.journal, image.leaveJournal().chopped(1)); }},
        {"the bytes at 1536 were changed by something else since",
         [](Image& image) {
             image.leaveJournal();
             ASSERT_TRUE(FileDevice(image.path).write(1536, "VM"));
         }},
        {"it was written for a disk of 4096 bytes, and this one has 5000",
         [](Image& image) {
             writeBytes(image.journal,
                        encodeUndoJournal({4096, decodeUndoJournal(image.leaveJournal())->records}));
         }},
        {"it is not a plain file", [](Image& image) { QDir().mkdir(image.journal); }},
        {"it is larger than any undo journal Velmora writes",
         [](Image& image) {
             QFile(image.journal).open(QIODevice::WriteOnly);
             QFile::resize(image.journal, kMaxUndoJournalBytes + 1);
         }},
    };
    for (const auto& [refusal, spoil] : rows) {
        SCOPED_TRACE(refusal ? refusal : "cut short");
        Image image;
        spoil(image);
        const QByteArray before = readBytes(image.path);
        FileDevice file(image.path);
        const Result<SaveRecovery> recovered = recoverInterruptedSave(file, image.journal);
        EXPECT_EQ(readBytes(image.path), before);
        EXPECT_EQ(QFileInfo::exists(image.journal), refusal != nullptr);
        if (refusal == nullptr) {
            EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::UnfinishedDropped);
            continue;
        }
        EXPECT_EQ(recovered.reason(),
                  QString("win98.img cannot be opened: the undo journal win98.img.velmora-undo "
                          "beside it cannot be played back (%1); move it away only if the "
                          "image is known to be sound")
                      .arg(refusal));
    }
}

TEST(StagedDevice, NoJournalMeansNoChange)
{
    Image image;
    writeBytes(image.journal, "left over");
    const std::pair<QString, const char*> rows[] = {
        {image.dir.filePath("gone/win98.img.velmora-undo"),
         "the undo journal win98.img.velmora-undo cannot be written beside the image (No such file or "
         "directory), so nothing was changed"},
        {image.journal, "the undo journal of an earlier save (win98.img.velmora-undo) is still beside the "
                        "image; nothing was changed"},
    };
    for (const auto& [journal, reason] : rows) {
        FileDevice file(image.path);
        EXPECT_EQ(image.save(file, journal).reason(), reason);
        EXPECT_EQ(readBytes(image.path), image.old);
    }
}

// One save: those sectors rewritten to the target's bytes, committed.
bool save(const QString& image, const QByteArray& target, const QList<qint64>& sectors)
{
    FileDevice file(image);
    StagedDevice staged(file, undoJournalPath(image));
    for (const qint64 at : sectors) {
        if (!staged.write(at, QByteArrayView(target).sliced(at, kSectorSize)))
            return false;
    }
    return staged.commit().ok();
}

// Real kill -9 of a process in the middle of saving a change to a FAT image (a file grown past
// its clusters and another rewritten, as mtools makes the change), then the image reopened:
// it must hold exactly the old or the new file system, and dosfstools must find it clean.
// VELMORA_KILL_TRIALS sets the kills per FAT type (tools/kill-test.sh runs hundreds).
TEST(KillDuringSave, LeavesTheOldOrTheNewFileSystem)
{
    const int trials = qEnvironmentVariableIsSet("VELMORA_KILL_TRIALS")
                           ? qMax(1, qEnvironmentVariableIntValue("VELMORA_KILL_TRIALS"))
                           : 8;
    std::mt19937 random(20261207);
    for (const auto& [name, bits, kib] : {std::tuple{"FAT16", 16, 8192}, std::tuple{"FAT32", 32, 40000}}) {
        QTemporaryDir dir;
        const QString image = dir.filePath("win98.img"), changed = dir.filePath("new.img");
        writeBytes(dir.filePath("SYSTEM.DAT"), patterned(40000, 1));
        writeBytes(dir.filePath("SYSTEM.NEW"), patterned(70000, 2));
        writeBytes(dir.filePath("WIN.INI"), "[windows]\r\nload=\r\n");
        makeVolume(image, bits, kib);
        mtool(image, "mcopy", {dir.filePath("SYSTEM.DAT"), dir.filePath("WIN.INI"), "::"});
        ASSERT_TRUE(QFile::copy(image, changed));
        mtool(changed, "mcopy", {"-o", dir.filePath("SYSTEM.NEW"), "::SYSTEM.DAT"});
        mtool(changed, "mcopy", {"-o", dir.filePath("WIN.INI"), "::WIN.INI"});
        const QByteArray before = readBytes(image), after = readBytes(changed);
        QList<qint64> sectors; // those the change rewrites
        for (qint64 at = 0; at < before.size(); at += kSectorSize)
            if (before.mid(at, kSectorSize) != after.mid(at, kSectorSize))
                sectors.append(at);

        // The kills are aimed within a little more than the time a save takes here, unloaded.
        QElapsedTimer timer;
        timer.start();
        ASSERT_TRUE(save(image, after, sectors) && save(image, before, sectors));
        const qint64 window = timer.nsecsElapsed() / 1000 * 5 / 8;

        int finished = 0, putBack = 0, dropped = 0;
        for (int trial = 0; trial < trials; ++trial) {
            const QByteArray& target = readBytes(image) == before ? after : before;
            int ready[2];
            ASSERT_EQ(::pipe(ready), 0);
            const pid_t child = ::fork();
            if (child == 0) {
                (void)!::write(ready[1], "r", 1);
                ::_exit(save(image, target, sectors) ? 0 : 1);
            }
            char byte = 0;
            (void)!::read(ready[0], &byte, 1);
            ::close(ready[0]);
            ::close(ready[1]);
            ::usleep(useconds_t(std::uniform_int_distribution<qint64>(0, window)(random)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            finished += WIFEXITED(status);

            FileDevice reopened(image);
            const Result<SaveRecovery> recovered = recoverInterruptedSave(reopened, undoJournalPath(image));
            ASSERT_TRUE(recovered) << recovered.reason().toStdString();
            putBack += recovered->outcome == SaveRecovery::Outcome::PutBack;
            dropped += recovered->outcome == SaveRecovery::Outcome::UnfinishedDropped;
            const QByteArray now = readBytes(image);
            ASSERT_TRUE(now == before || now == after) << name << " kill " << trial;
            ASSERT_TRUE(!WIFEXITED(status) || now == target) << "a finished save is kept";
            ASSERT_EQ(run("fsck.fat", {"-n", image}).code, 0) << name << " kill " << trial;
        }
        std::printf("%s: %d kills aimed within %lld us, %d after the save finished; reopening put back %d "
                    "and dropped %d unfinished journals; every image old or new and clean\n",
                    name, trials, window, finished, putBack, dropped);
    }
}

} // namespace
} // namespace velmora
