#include "FileDevice.h"

#include "journal/JournalRecovery.h"
#include "journal/StagedDevice.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::DyingDevice;
using test::FileDevice;
using test::readWholeFile;
using test::writeWholeFile;

// An odd-sized image (its last sector is short) and one save that changes three stretches of
// it: part of one sector, a run across a sector boundary, and the device's last bytes.
struct Image {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("win98.img"));
    QString journal = undoJournalPath(path);
    QByteArray old;
    QByteArray expected;

    Image()
    {
        for (int i = 0; i < 5000; ++i)
            old.append(char(i * 7 + i / 256));
        writeWholeFile(path, old);
        expected = old;
        for (const auto& [offset, bytes] : kChanges)
            expected.replace(offset, bytes.size(), bytes);
    }
    static inline const QList<std::pair<qint64, QByteArray>> kChanges = {
        {10, QByteArray("new boot code")},
        {1500, QByteArray(1200, 'F')},
        {4990, QByteArray("last bytes")},
    };
    void stage(BlockDevice& device) const
    {
        for (const auto& [offset, bytes] : kChanges)
            ASSERT_TRUE(device.write(offset, bytes));
    }
    QByteArray bytes() const { return readWholeFile(path); }
    bool journalExists() const { return QFileInfo::exists(journal); }
};

TEST(StagedDevice, ReadsSeeHeldWritesAndNothingReachesTheImageBeforeCommit)
{
    Image image;
    FileDevice file(image.path);
    StagedDevice staged(file, image.journal);
    image.stage(staged);
    EXPECT_TRUE(staged.write(1600, "again")); // over a held sector
    QByteArray expected = image.expected;
    expected.replace(1600, 5, "again");

    EXPECT_EQ(*staged.read(0, 5000), expected);
    EXPECT_EQ(*staged.read(1498, 4), expected.mid(1498, 4));
    EXPECT_TRUE(staged.flush());
    EXPECT_EQ(image.bytes(), image.old);
    EXPECT_FALSE(staged.write(4999, "xy")) << "past the end";
    EXPECT_FALSE(staged.read(-1, 2)) << "before the start";

    ASSERT_TRUE(staged.commit());
    EXPECT_EQ(image.bytes(), expected);
    EXPECT_FALSE(image.journalExists());
    EXPECT_FALSE(staged.hasChanges());
}

// A kill after every number of device writes and flushes a save makes, and again while the
// interrupted save is being undone: reopening leaves the old bytes or, once the save finished,
// the new ones; never a mix.
TEST(StagedDevice, AKillAtAnyPointLeavesTheOldOrTheNewImage)
{
    for (int survived = 0;; ++survived) {
        Image image;
        FileDevice file(image.path);
        DyingDevice dying(file, survived);
        StagedDevice staged(dying, image.journal);
        image.stage(staged);
        const Result<void> committed = staged.commit();
        if (!dying.died()) {
            ASSERT_TRUE(committed) << committed.reason().toStdString();
            EXPECT_EQ(image.bytes(), image.expected);
            EXPECT_FALSE(image.journalExists());
            ASSERT_GE(survived, 4) << "three stretches and a flush";
            break;
        }
        EXPECT_FALSE(committed);
        ASSERT_TRUE(image.journalExists()) << survived;

        for (int recoverySurvived = 0;; ++recoverySurvived) {
            FileDevice reopened(image.path);
            DyingDevice dyingAgain(reopened, recoverySurvived);
            const Result<SaveRecovery> recovered = recoverInterruptedSave(dyingAgain, image.journal);
            if (!dyingAgain.died()) {
                ASSERT_TRUE(recovered) << recovered.reason().toStdString();
                EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::PutBack);
                EXPECT_TRUE(recovered->notice.startsWith(u"win98.img: a save was interrupted"));
                break;
            }
            EXPECT_FALSE(recovered);
            EXPECT_TRUE(image.journalExists());
        }
        EXPECT_EQ(image.bytes(), image.old) << "killed after " << survived;
        EXPECT_FALSE(image.journalExists());
    }
}

// A kill while the journal itself was written leaves a prefix of it and an untouched image.
TEST(StagedDevice, AJournalCutShortIsDroppedAndTheImageLeftAlone)
{
    Image image;
    {
        FileDevice file(image.path);
        DyingDevice dead(file, 0);
        StagedDevice staged(dead, image.journal);
        image.stage(staged);
        ASSERT_FALSE(staged.commit());
    }
    const QByteArray whole = readWholeFile(image.journal);
    ASSERT_GT(whole.size(), 1200);
    // Every cut is told apart by the decoding's own test; here a cut in each part of the file.
    for (const qsizetype length : {qsizetype(0), qsizetype(20), qsizetype(600), whole.size() - 1}) {
        writeWholeFile(image.journal, whole.first(length));
        FileDevice file(image.path);
        const Result<SaveRecovery> recovered = recoverInterruptedSave(file, image.journal);
        ASSERT_TRUE(recovered) << length;
        EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::UnfinishedDropped);
        EXPECT_FALSE(image.journalExists());
        EXPECT_EQ(image.bytes(), image.old);
    }
}

TEST(StagedDevice, AnImageWithoutJournalOpensClean)
{
    Image image;
    FileDevice file(image.path);
    const Result<SaveRecovery> recovered = recoverInterruptedSave(file, image.journal);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::Clean);
    EXPECT_TRUE(recovered->notice.isEmpty());
}

// A journal that cannot be trusted to fit the image is kept and the image refused, untouched.
TEST(StagedDevice, AJournalThatDoesNotFitIsRefusedAndKept)
{
    struct Row {
        const char* name;
        std::function<void(Image&)> spoil;
        const char* reason;
    };
    auto journalOf = [](Image& image) {
        FileDevice file(image.path);
        DyingDevice dead(file, 0);
        StagedDevice staged(dead, image.journal);
        image.stage(staged);
        (void)staged.commit();
        return *decodeUndoJournal(readWholeFile(image.journal));
    };
    const Row rows[] = {
        {"another program wrote the image since",
         [&](Image& image) {
             journalOf(image);
             ASSERT_TRUE(FileDevice(image.path).write(1510, "VM"));
         },
         "changed by something else"},
        {"written for a larger disk",
         [&](Image& image) {
             UndoJournal j = journalOf(image);
             j.deviceSize = 1 << 20;
             QFile::remove(image.journal);
             writeWholeFile(image.journal, encodeUndoJournal(j));
         },
         "written for a disk of 1048576 bytes"},
        {"a record past the end",
         [&](Image& image) {
             UndoJournal j = journalOf(image);
             j.records.last().offset = 5120;
             QFile::remove(image.journal);
             writeWholeFile(image.journal, encodeUndoJournal(j));
         },
         "not sectors of this disk"},
        {"a link", [](Image& image) { QFile::link(image.path, image.journal); }, ""},
        {"a folder", [](Image& image) { QDir().mkdir(image.journal); }, "not a plain file"},
        {"larger than any journal",
         [](Image& image) {
             QFile f(image.journal);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(kMaxUndoJournalBytes + 1));
         },
         "larger than any undo journal"},
    };
    for (const Row& row : rows) {
        Image image;
        row.spoil(image);
        const QByteArray before = image.bytes();
        FileDevice file(image.path);
        const Result<SaveRecovery> recovered = recoverInterruptedSave(file, image.journal);
        ASSERT_FALSE(recovered) << row.name;
        EXPECT_TRUE(recovered.reason().startsWith(u"win98.img cannot be opened: the undo journal "
                                                  u"win98.img.velmora-undo beside it"))
            << recovered.reason().toStdString();
        EXPECT_TRUE(recovered.reason().contains(QLatin1String(row.reason)))
            << recovered.reason().toStdString();
        EXPECT_EQ(image.bytes(), before) << row.name;
        EXPECT_TRUE(QFileInfo(image.journal).exists() || QFileInfo(image.journal).isSymLink()) << row.name;
    }
}

TEST(StagedDevice, NoJournalMeansNoChange)
{
    struct Row {
        const char* name;
        std::function<QString(Image&)> journalPath;
        const char* reason;
    };
    const Row rows[] = {
        {"folder beside the image missing",
         [](Image& image) { return image.dir.filePath(QStringLiteral("gone/win98.img.velmora-undo")); },
         "the undo journal win98.img.velmora-undo cannot be written beside the image (No such file or "
         "directory), so nothing was changed"},
        {"an earlier save's journal still there",
         [](Image& image) {
             writeWholeFile(image.journal, "left over");
             return image.journal;
         },
         "the undo journal of an earlier save (win98.img.velmora-undo) is still beside the image; nothing "
         "was changed"},
    };
    for (const Row& row : rows) {
        Image image;
        FileDevice file(image.path);
        StagedDevice staged(file, row.journalPath(image));
        image.stage(staged);
        const Result<void> committed = staged.commit();
        ASSERT_FALSE(committed) << row.name;
        EXPECT_EQ(committed.reason(), QLatin1String(row.reason));
        EXPECT_EQ(image.bytes(), image.old) << row.name;
    }
}

// Writing what a sector already holds is no change: nothing is journalled or written.
TEST(StagedDevice, WritesOfUnchangedBytesLeaveNoJournal)
{
    Image image;
    FileDevice file(image.path);
    DyingDevice dead(file, 0);
    StagedDevice staged(dead, image.journal);
    ASSERT_TRUE(staged.write(100, image.old.mid(100, 2000)));
    EXPECT_TRUE(staged.commit());
    EXPECT_FALSE(image.journalExists());
    EXPECT_FALSE(dead.died());
}

} // namespace
} // namespace velmora
