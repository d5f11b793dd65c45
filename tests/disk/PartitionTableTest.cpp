#include "disk/PartitionTable.h"
#include "disk/MemoryDevice.h"

#include "DiskTools.h"

#include <QtEndian>

namespace velmora::testing {
namespace {

// Sets field `at` (+4 type, with the three bytes after it, +8 start, +12 count) of entry `index`
// of the table in sector `table`.
void patch(QByteArray& bytes, qint64 table, int index, int at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + table * 512 + 446 + 16 * index + at);
}

// The last link of the chain below made to point at `start` (from the extended partition's start).
void linkLastTo(QByteArray& bytes, quint32 start)
{
    patch(bytes, 12288, 1, 4, 0x05);
    patch(bytes, 12288, 1, 8, start);
    patch(bytes, 12288, 1, 12, 2048);
}

// Primary 1, then an extended partition at 4096 whose links lie at 4096, 8192 and 12288.
const char* const threeLogicals = "2048,2048,6\n4096,,5\n6144,2048,b\n10240,2048,c\n14336,,e\n";

// The partitions as sfdisk lays them out (extended containers left out), each as
// "number:start:size:type:active" in sectors, or the words of the refusal.
TEST(PartitionTable, ListsWhatSfdiskLaysOutAndRefusesTheRest)
{
    const struct {
        const char* name;
        const char* sfdisk; // or "mkfs.fat OPTIONS": a bare FAT volume
        void (*damage)(QByteArray&);
        const char* outcome;
    } rows[] = {
        {"four primaries, the third active", "2048,2048,1\n4096,2048,6\n6144,2048,b,*\n8192,,83\n", nullptr,
         "1:2048:2048:1:0 2:4096:2048:6:0 3:6144:2048:b:1 4:8192:8192:83:0"},
        {"an extended partition with three logicals", threeLogicals, nullptr,
         "1:2048:2048:6:0 5:6144:2048:b:0 6:10240:2048:c:0 7:14336:2048:e:0"},
        {"an extended partition, then a primary", "2048,8192,f\n10240,,c\n,2048,6\n,2048,b,*\n", nullptr,
         "2:10240:6144:c:0 5:4096:2048:6:0 6:8192:2048:b:1"},
        {"a bare FAT volume", "mkfs.fat", nullptr, "0:0:16384:0:0"},
        {"a bare FAT volume of the largest sectors", "mkfs.fat -S 4096", nullptr, "0:0:16384:0:0"},
        {"GPT", "label: gpt\n,,U\n", nullptr, "a GPT disk"},
        {"blank", "2048,,c\n", [](QByteArray& b) { b.fill('\0'); }, "the disk is blank"},
        {"no boot signature", "2048,,c\n", [](QByteArray& b) { b[511] = 0; },
         "neither a partition table nor"},
        {"a damaged status byte", "2048,,c\n", [](QByteArray& b) { b[446] = 0x12; },
         "entry 1 has status 0x12"},
        {"a partition past the end", "2048,,c\n", [](QByteArray& b) { patch(b, 0, 0, 12, 1u << 20); },
         "partition 1 lies outside"},
        {"overlapping primaries", "2048,4096,6\n6144,,b\n", [](QByteArray& b) { patch(b, 0, 1, 8, 4096); },
         "partitions 1 and 2 overlap"},
        {"a chain that loops", threeLogicals, [](QByteArray& b) { linkLastTo(b, 8192 - 4096); }, "loops"},
        {"a chain leaving its extended partition", threeLogicals,
         [](QByteArray& b) { linkLastTo(b, 1u << 20); }, "leaves its extended partition"},
        {"a link without its signature", threeLogicals, [](QByteArray& b) { b[8192 * 512 + 510] = 0; },
         "broken at sector 8192"},
        {"an extended partition past the end", threeLogicals,
         [](QByteArray& b) { patch(b, 0, 1, 12, 1u << 20); }, "the extended partition lies outside the disk"},
        {"an empty extended partition", threeLogicals, [](QByteArray& b) { patch(b, 0, 1, 12, 0); },
         "the extended partition lies outside the disk"},
        {"a logical over its own link", threeLogicals, [](QByteArray& b) { patch(b, 8192, 0, 8, 0); },
         "partition 6 lies outside"},
    };
    for (const auto& row : rows) {
        const Scratch scratch;
        const bool bare = QString(row.sfdisk).startsWith("mkfs.fat");
        const QString image = bare ? scratch.filePath("disk.img") : scratch.rawDisk(8, row.sfdisk);
        if (bare)
            run(QString("%1 -C %2 8192").arg(row.sfdisk, image));
        QByteArray bytes = readBytes(image);
        if (row.damage)
            row.damage(bytes);
        MemoryDevice disk("disk.img", bytes);
        const Result<QList<Partition>> partitions = readPartitions(disk);
        QStringList listed;
        for (const Partition& p : partitions ? *partitions : QList<Partition>())
            listed << QString("%1:%2:%3:%4:%5")
                          .arg(p.number)
                          .arg(p.offset / 512)
                          .arg(p.length / 512)
                          .arg(p.type, 0, 16)
                          .arg(int(p.active));
        const QString got = partitions ? listed.join(' ') : partitions.reason();
        EXPECT_TRUE(got == row.outcome || (!partitions && got.contains(row.outcome)))
            << row.name << ": " << got.toStdString();
    }
}

} // namespace
} // namespace velmora::testing
