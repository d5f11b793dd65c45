#include "journal/UndoJournal.h"
#include "journal/Checksum.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

UndoRecord record(qint64 offset, qsizetype length)
{
    UndoRecord r{offset, QByteArray(length, char(offset)), {}};
    for (qsizetype s = 0; s < length; s += kSectorSize)
        r.newSectorChecksums.append(quint32(offset + s));
    return r;
}

TEST(UndoJournal, ChecksumIsCrc32c)
{
    EXPECT_EQ(crc32c("123456789"), 0xE3069283u);
    EXPECT_EQ(crc32c("56789", crc32c("1234")), 0xE3069283u);
}

// A crash while the journal was written leaves any prefix of it; damage changes any byte.
TEST(UndoJournal, OnlyTheWholeJournalReadsBack)
{
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
    const struct {
        const char* name;
        qint64 deviceSize;
        QList<UndoRecord> records;
        bool fits;
    } rows[] = {
        {"whole sectors and a short last one", 5000, {record(0, 512), record(4608, 392)}, true},
        {"past the end", 5000, {record(4608, 512)}, false},
        {"far past the end", 5000, {record(huge, 512)}, false},
        {"off the sector grid", 5000, {record(100, 512)}, false},
        {"short before the end", 5000, {record(0, 100)}, false},
        {"overlapping", 5000, {record(0, 1024), record(512, 512)}, false},
    };
    for (const auto& row : rows) {
        const Result<UndoJournal> decoded = decodeUndoJournal(encodeUndoJournal({5000, row.records}));
        EXPECT_EQ(checkJournalFits(*decoded, row.deviceSize).ok(), row.fits) << row.name;
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

} // namespace
} // namespace velmora
