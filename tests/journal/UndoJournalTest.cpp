#include "journal/UndoJournal.h"
#include "journal/Checksum.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

UndoRecord record(qint64 offset, qsizetype length, char fill)
{
    UndoRecord r{offset, QByteArray(length, fill), {}};
    for (qsizetype s = 0; s < length; s += kSectorSize)
        r.newSectorChecksums.append(quint32(offset + s));
    return r;
}

// Two stretches, the second ending in a short last sector at the end of an odd-sized device.
const UndoJournal kJournal{5000, {record(512, 1024, 'a'), record(4608, 392, 'b')}};

TEST(UndoJournal, ChecksumIsCrc32c)
{
    EXPECT_EQ(crc32c("123456789"), 0xE3069283u);
    EXPECT_EQ(crc32c("56789", crc32c("1234")), 0xE3069283u);
}

TEST(UndoJournal, ReadsBackWhatItWrote)
{
    const Result<UndoJournal> decoded = decodeUndoJournal(encodeUndoJournal(kJournal));
    ASSERT_TRUE(decoded) << decoded.reason().toStdString();
    EXPECT_EQ(*decoded, kJournal);
}

// A crash while the journal was written leaves any prefix of it; damage changes any byte.
TEST(UndoJournal, EveryCutAndEveryDamagedByteIsNotWhole)
{
    const QByteArray whole = encodeUndoJournal(kJournal);
    for (qsizetype length = 0; length < whole.size(); ++length)
        EXPECT_FALSE(decodeUndoJournal(whole.first(length))) << "cut at " << length;
    for (qsizetype at = 0; at < whole.size(); ++at) {
        QByteArray damaged = whole;
        damaged[at] = char(damaged[at] ^ 0x10);
        EXPECT_FALSE(decodeUndoJournal(damaged)) << "byte " << at;
    }
    EXPECT_FALSE(decodeUndoJournal(whole + QByteArray(512, '\0'))) << "zeros after it";
}

TEST(UndoJournal, FitsOnlyItsOwnDevice)
{
    struct Row {
        const char* name;
        qint64 deviceSize;
        QList<UndoRecord> records;
        bool fits;
    };
    const Row rows[] = {
        {"whole sectors and a short last one", 5000, {record(0, 512, 'x'), record(4608, 392, 'y')}, true},
        {"another device size", 5001, {record(0, 512, 'x')}, false},
        {"past the end", 5000, {record(4608, 512, 'x')}, false},
        {"offset off the sector grid", 5000, {record(100, 512, 'x')}, false},
        {"short record before the end", 5000, {record(0, 100, 'x')}, false},
        {"overlapping", 5000, {record(0, 1024, 'x'), record(512, 512, 'y')}, false},
        {"out of order", 5000, {record(1024, 512, 'x'), record(0, 512, 'y')}, false},
        {"huge offset", 5000, {record(std::numeric_limits<qint64>::max() - 511, 512, 'x')}, false},
    };
    for (const Row& row : rows) {
        const Result<UndoJournal> decoded = decodeUndoJournal(encodeUndoJournal({5000, row.records}));
        ASSERT_TRUE(decoded) << row.name;
        EXPECT_EQ(checkJournalFits(*decoded, row.deviceSize).ok(), row.fits) << row.name;
    }
}

} // namespace
} // namespace velmora
