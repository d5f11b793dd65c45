#include "journal/StagedDevice.h"
#include "journal/JournalRecovery.h"

#include "support/FileDevice.h"
#include "support/FileFixtures.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace velmora {
namespace {

using namespace testing;

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
    void stage(BlockDevice& device) const
    {
        for (const auto& [offset, bytes] : changes)
            ASSERT_TRUE(device.write(offset, bytes));
    }
    // The save through `file`, its journal at `journalPath`.
    Result<void> save(FileDevice& file, const QString& journalPath) const
    {
        StagedDevice staged(file, journalPath);
        stage(staged);
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
    QByteArray bytes() const { return readBytes(path); }
    bool journalExists() const { return QFileInfo::exists(journal); }
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
            EXPECT_EQ(image.bytes(), image.saved);
            EXPECT_FALSE(image.journalExists());
            EXPECT_EQ(survived, 4) << "three stretches and a flush";
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
        EXPECT_EQ(image.bytes(), image.old) << "killed after " << survived;
        EXPECT_FALSE(image.journalExists());
    }
}

// A journal cut short (a kill while it was written) is dropped and the untouched image left
// alone; one that cannot be trusted to fit the image is kept and the image refused, untouched.
TEST(StagedDevice, AJournalLeftBehindIsDroppedOrRefusedButNeverPlayedBlindly)
{
    const struct {
        const char* refusal; // nullptr: dropped
        std::function<void(Image&)> spoil;
    } rows[] = {
        {nullptr, [](Image& image) { writeBytes(image.journal, image.leaveJournal().chopped(1)); }},
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
             QFile(image.journal).open(QIODevice::WriteOnly);
             QFile::resize(image.journal, kMaxUndoJournalBytes + 1);
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.refusal ? row.refusal : "cut short");
        Image image;
        row.spoil(image);
        const QByteArray before = image.bytes();
        FileDevice file(image.path);
        const Result<SaveRecovery> recovered = recoverInterruptedSave(file, image.journal);
        EXPECT_EQ(image.bytes(), before);
        EXPECT_EQ(image.journalExists(), row.refusal != nullptr);
        if (row.refusal == nullptr) {
            EXPECT_EQ(recovered->outcome, SaveRecovery::Outcome::UnfinishedDropped);
            continue;
        }
        EXPECT_EQ(recovered.reason(),
                  QString("win98.img cannot be opened: the undo journal win98.img.velmora-undo "
                          "beside it cannot be played back (%1); move it away only if the "
                          "image is known to be sound")
                      .arg(row.refusal));
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
        EXPECT_EQ(image.bytes(), image.old);
    }
}

} // namespace
} // namespace velmora
