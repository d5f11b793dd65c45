#include "journal/StagedDevice.h"
#include "journal/JournalRecovery.h"

#include "support/FileDevice.h"
#include "support/FileFixtures.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

// A device whose program is killed after a number of writes and flushes: from then on nothing
// reaches the device below, as after a kill -9 or a power cut.
class DyingDevice final : public BlockDevice {
public:
    DyingDevice(BlockDevice& below, int operationsLeft) : m_below(below), m_left(operationsLeft) {}
    QString name() const override { return m_below.name(); }
    qint64 size() const override { return m_below.size(); }
    Result<QByteArray> read(qint64 offset, qint64 length) override { return m_below.read(offset, length); }
    Result<void> write(qint64 offset, QByteArrayView bytes) override
    {
        return --m_left < 0 ? failure(QStringLiteral("killed")) : m_below.write(offset, bytes);
    }
    Result<void> flush() override
    {
        return --m_left < 0 ? failure(QStringLiteral("killed")) : m_below.flush();
    }
    bool died() const { return m_left < 0; }

private:
    BlockDevice& m_below;
    int m_left;
};

// An odd-sized image (its last sector is short) and a save that changes part of one sector, a
// run across a sector boundary and the device's last bytes.
struct Image {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("win98.img"));
    QString journal = undoJournalPath(path);
    QByteArray old, saved;
    const QList<std::pair<qint64, QByteArray>> changes = {
        {10, "new boot code"}, {1500, QByteArray(1200, 'F')}, {4990, "last bytes"}};

    Image()
    {
        for (int i = 0; i < 5000; ++i)
            old.append(char(i * 7 + i / 256));
        writeBytes(path, old);
        saved = old;
        for (const auto& [offset, bytes] : changes)
            saved.replace(offset, bytes.size(), bytes);
    }
    void stage(BlockDevice& device) const
    {
        for (const auto& [offset, bytes] : changes)
            ASSERT_TRUE(device.write(offset, bytes));
    }
    // The journal a save leaves when killed before its first write to the image.
    QByteArray leaveJournal()
    {
        FileDevice file(path);
        DyingDevice dead(file, 0);
        StagedDevice staged(dead, journal);
        stage(staged);
        EXPECT_FALSE(staged.commit());
        return readBytes(journal);
    }
    Result<SaveRecovery> reopen(BlockDevice* device = nullptr)
    {
        FileDevice file(path);
        return recoverInterruptedSave(device ? *device : file, journal);
    }
    QByteArray bytes() const { return readBytes(path); }
    bool journalExists() const { return QFileInfo::exists(journal); }
};

TEST(StagedDevice, ReadsSeeHeldWritesAndNothingReachesTheImageBeforeCommit)
{
    Image image;
    FileDevice file(image.path);
    StagedDevice staged(file, image.journal);
    image.stage(staged);
    EXPECT_EQ(*staged.read(0, 5000), image.saved);
    EXPECT_EQ(*staged.read(1498, 4), image.saved.mid(1498, 4));
    EXPECT_FALSE(staged.write(4999, "xy")) << "past the end";
    EXPECT_TRUE(staged.flush());
    EXPECT_EQ(image.bytes(), image.old);
    ASSERT_TRUE(staged.commit());
    EXPECT_EQ(image.bytes(), image.saved);
    EXPECT_FALSE(image.journalExists());

    // Bytes a sector already holds are no change: nothing is journalled or written.
    DyingDevice dead(file, 0);
    StagedDevice again(dead, image.journal);
    ASSERT_TRUE(again.write(0, image.saved));
    EXPECT_TRUE(again.commit());
    EXPECT_FALSE(dead.died());
}

// A kill after every number of writes and flushes of a save, and again while it is undone:
// reopening leaves the old bytes or, once the save finished, the new ones.
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
            EXPECT_EQ(image.bytes(), image.saved);
            EXPECT_FALSE(image.journalExists());
            EXPECT_EQ(survived, 4) << "three stretches and a flush";
            break;
        }
        EXPECT_FALSE(committed);
        for (int recoverySurvived = 0;; ++recoverySurvived) {
            FileDevice reopened(image.path);
            DyingDevice dyingAgain(reopened, recoverySurvived);
            const Result<SaveRecovery> recovered = image.reopen(&dyingAgain);
            ASSERT_EQ(recovered.ok(), !dyingAgain.died());
            if (recovered) {
                EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::PutBack);
                EXPECT_EQ(
                    recovered->notice,
                    u"win98.img: a save was interrupted; the image was put back as it was before that save");
                break;
            }
        }
        EXPECT_EQ(image.bytes(), image.old) << "killed after " << survived;
        EXPECT_FALSE(image.journalExists());
        EXPECT_EQ(image.reopen()->outcome, SaveRecovery::Outcome::Clean);
    }
}

// A kill while the journal itself was written leaves a part of it and an untouched image.
TEST(StagedDevice, AJournalCutShortIsDroppedAndTheImageLeftAlone)
{
    Image image;
    const QByteArray whole = image.leaveJournal();
    for (const qsizetype length : {qsizetype(0), qsizetype(20), qsizetype(600), whole.size() - 1}) {
        writeBytes(image.journal, whole.first(length));
        const Result<SaveRecovery> recovered = image.reopen();
        ASSERT_TRUE(recovered) << length;
        EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::UnfinishedDropped);
        EXPECT_FALSE(image.journalExists());
        EXPECT_EQ(image.bytes(), image.old);
    }
}

// A journal that cannot be trusted to fit the image is kept and the image refused, untouched.
TEST(StagedDevice, AJournalThatDoesNotFitIsRefusedAndKept)
{
    struct Row {
        const char* reason;
        std::function<void(Image&)> spoil;
    };
    const Row rows[] = {
        {"the bytes at 1536 were changed by something else since",
         [](Image& image) {
             image.leaveJournal();
             ASSERT_TRUE(FileDevice(image.path).write(1536, "VM"));
         }},
        {"it was written for a disk of 4096 bytes, and this one has 5000",
         [](Image& image) {
             UndoJournal journal = *decodeUndoJournal(image.leaveJournal());
             journal.deviceSize = 4096;
             writeBytes(image.journal, encodeUndoJournal(journal));
         }},
        {"it is not a plain file", [](Image& image) { QDir().mkdir(image.journal); }},
        {"it is larger than any undo journal Velmora writes",
         [](Image& image) {
             writeBytes(image.journal, {});
             QFile(image.journal).resize(kMaxUndoJournalBytes + 1);
         }},
    };
    for (const Row& row : rows) {
        Image image;
        row.spoil(image);
        const QByteArray before = image.bytes();
        const Result<SaveRecovery> recovered = image.reopen();
        EXPECT_EQ(recovered.reason(),
                  QStringLiteral("win98.img cannot be opened: the undo journal "
                                 "win98.img.velmora-undo beside it cannot be played back "
                                 "(%1); move it away only if the image is known to be sound")
                      .arg(QLatin1String(row.reason)));
        EXPECT_EQ(image.bytes(), before) << row.reason;
        EXPECT_TRUE(image.journalExists()) << row.reason;
    }
}

TEST(StagedDevice, NoJournalMeansNoChange)
{
    struct Row {
        const char* reason;
        std::function<QString(Image&)> journal;
    };
    const Row rows[] = {
        {"the undo journal win98.img.velmora-undo cannot be written beside the image (No such file or "
         "directory), so nothing was changed",
         [](Image& image) { return image.dir.filePath(QStringLiteral("gone/win98.img.velmora-undo")); }},
        {"the undo journal of an earlier save (win98.img.velmora-undo) is still beside the image; nothing "
         "was changed",
         [](Image& image) {
             writeBytes(image.journal, "left over");
             return image.journal;
         }},
    };
    for (const Row& row : rows) {
        Image image;
        FileDevice file(image.path);
        StagedDevice staged(file, row.journal(image));
        image.stage(staged);
        EXPECT_EQ(staged.commit().reason(), QLatin1String(row.reason));
        EXPECT_EQ(image.bytes(), image.old);
    }
}

} // namespace
} // namespace velmora
