#include "disk/DiskImage.h"
#include "disk/FileDevice.h"
#include "disk/MemoryDevice.h"

#include "DiskTools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <functional>

namespace velmora::testing {
namespace {

constexpr qint64 sector = 512;

// The partitions as sfdisk lists them (extended containers left out), as "number:start:size:type:active".
QStringList sfdiskListing(const QString& image)
{
    const QJsonObject table =
        QJsonDocument::fromJson(runTool(QStringLiteral("sfdisk"), {QStringLiteral("-J"), image}))
            .object()[QLatin1String("partitiontable")]
            .toObject();
    QStringList listed;
    for (const QJsonValue& entry : table[QLatin1String("partitions")].toArray()) {
        const QJsonObject partition = entry.toObject();
        const QString type = partition[QLatin1String("type")].toString();
        if (type == QLatin1String("5") || type == QLatin1String("f") || type == QLatin1String("85"))
            continue;
        const QString node = partition[QLatin1String("node")].toString();
        listed.append(QStringLiteral("%1:%2:%3:%4:%5")
                          .arg(node.mid(image.size()))
                          .arg(partition[QLatin1String("start")].toInteger())
                          .arg(partition[QLatin1String("size")].toInteger())
                          .arg(type)
                          .arg(partition[QLatin1String("bootable")].toBool() ? 1 : 0));
    }
    return listed;
}

QStringList velmoraListing(const QList<Partition>& partitions)
{
    QStringList listed;
    for (const Partition& p : partitions)
        listed.append(QStringLiteral("%1:%2:%3:%4:%5")
                          .arg(p.number)
                          .arg(p.offset / sector)
                          .arg(p.length / sector)
                          .arg(p.type, 0, 16)
                          .arg(p.active ? 1 : 0));
    return listed;
}

// Overwrites a 32-bit field of the image (a sector number or count in a table entry).
void patch32(QByteArray& bytes, qint64 at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

// The table entry `index` of the partition-table sector at `tableSector`; +4 type, +8 start, +12 count.
constexpr qint64 entryAt(qint64 tableSector, int index)
{
    return tableSector * sector + 446 + 16 * index;
}

// Makes the last link of the chain below point at `start` (from the extended partition's start).
void linkLastTo(QByteArray& bytes, quint32 start)
{
    bytes[entryAt(12288, 1) + 4] = 0x05;
    patch32(bytes, entryAt(12288, 1) + 8, start);
    patch32(bytes, entryAt(12288, 1) + 12, 2048);
}

// Primary 1, then an extended partition at 4096 whose links lie at 4096, 8192 and 12288.
const char* const threeLogicals = "2048,2048,6\n4096,,5\n6144,2048,b\n10240,2048,c\n14336,,e\n";

struct Layout {
    const char* name;
    const char* sfdisk;                      // nullptr: a bare FAT volume
    std::function<void(QByteArray&)> damage; // applied to the image's bytes after sfdisk
    const char* refusal;                     // nullptr: the listing must agree with sfdisk's
};

TEST(PartitionTable, ListsWhatSfdiskListsAndRefusesTheRest)
{
    const Layout rows[] = {
        {"one FAT32 primary, active", "2048,,c,*\n", nullptr, nullptr},
        {"four primaries, the third active", "2048,2048,1\n4096,2048,6\n6144,2048,b,*\n8192,,83\n", nullptr,
         nullptr},
        {"an extended partition with three logicals", threeLogicals, nullptr, nullptr},
        {"an extended partition first, a primary after it", "2048,8192,f\n10240,,c\n,2048,6\n,2048,b,*\n",
         nullptr, nullptr},
        {"a bare FAT volume", nullptr, nullptr, nullptr},
        {"GPT", "label: gpt\n,,U\n", nullptr, "a GPT disk"},
        {"blank", "2048,,c\n", [](QByteArray& b) { b.fill('\0'); }, "the disk is blank"},
        {"no boot signature", "2048,,c\n", [](QByteArray& b) { b[511] = 0; },
         "neither a partition table nor a FAT boot sector"},
        {"a damaged status byte", "2048,,c\n", [](QByteArray& b) { b[entryAt(0, 0)] = 0x12; },
         "entry 1 has status 0x12"},
        {"a partition past the end", "2048,,c\n",
         [](QByteArray& b) { patch32(b, entryAt(0, 0) + 12, 1u << 20); }, "partition 1 lies outside"},
        {"overlapping primaries", "2048,4096,6\n6144,,b\n",
         [](QByteArray& b) { patch32(b, entryAt(0, 1) + 8, 4096); }, "partitions 1 and 2 overlap"},
        {"a chain that loops", threeLogicals, [](QByteArray& b) { linkLastTo(b, 8192 - 4096); }, "loops"},
        {"a chain leaving its extended partition", threeLogicals,
         [](QByteArray& b) { linkLastTo(b, 1u << 20); }, "leaves its extended partition"},
        {"a link without its signature", threeLogicals, [](QByteArray& b) { b[8192 * sector + 510] = 0; },
         "broken at sector 8192"},
        {"a logical before its link", threeLogicals,
         [](QByteArray& b) { patch32(b, entryAt(8192, 0) + 8, 0); }, "partition 6 lies outside"},
    };
    for (const Layout& row : rows) {
        SCOPED_TRACE(row.name);
        const Scratch scratch;
        QString image = scratch.path(QStringLiteral("disk.img"));
        if (row.sfdisk == nullptr) {
            runTool(QStringLiteral("mkfs.fat"), {QStringLiteral("-C"), image, QStringLiteral("8192")});
        } else {
            image = scratch.rawDisk(QStringLiteral("disk.img"), 8, row.sfdisk);
        }
        QByteArray bytes = fileBytes(image);
        if (row.damage)
            row.damage(bytes);
        MemoryDevice disk(QStringLiteral("disk.img"), bytes);
        const Result<QList<Partition>> partitions = readPartitions(disk);
        if (row.refusal != nullptr) {
            ASSERT_FALSE(partitions.ok()) << velmoraListing(*partitions).join(' ').toStdString();
            EXPECT_TRUE(partitions.reason().contains(QLatin1String(row.refusal)))
                << partitions.reason().toStdString();
            continue;
        }
        ASSERT_TRUE(partitions.ok()) << partitions.reason().toStdString();
        const QStringList expected =
            row.sfdisk == nullptr ? QStringList{QStringLiteral("0:0:16384:0:0")} : sfdiskListing(image);
        EXPECT_EQ(velmoraListing(*partitions), expected);
    }
}

// The whole way from an image file to the volume Windows is on: a qcow2 disk holding a data
// partition and, as a logical partition, the Windows one; each volume reads its own boot sector.
TEST(PartitionTable, OpensTheWindowsVolumeInsideAnImage)
{
    const Scratch scratch;
    const QString raw = scratch.rawDisk(QStringLiteral("disk.img"), 8, "2048,4096,6\n6144,,f\n,4096,e,*\n");
    runTool(QStringLiteral("mkfs.fat"), {QStringLiteral("--offset=2048"), QStringLiteral("-n"),
                                         QStringLiteral("DATA"), raw, QStringLiteral("2048")});
    runTool(QStringLiteral("mkfs.fat"), {QStringLiteral("--offset=8192"), QStringLiteral("-n"),
                                         QStringLiteral("WIN98"), raw, QStringLiteral("2048")});
    const QString image = scratch.converted(raw, QStringLiteral("win98.qcow2"), QStringLiteral("qcow2"));
    const auto label = [](BlockDevice& volume) -> QByteArray {
        const Result<QByteArray> boot = volume.read(0, 512);
        return boot ? boot->mid(43, 11).trimmed() : QByteArray();
    };
    const DriveCTest labelledWin98 = [&](BlockDevice& volume) -> Result<bool> {
        return label(volume) == "WIN98";
    };

    const Result<WindowsVolume> windows = openWindowsVolume(image, ImageAccess::ReadOnly, labelledWin98, {});
    ASSERT_TRUE(windows.ok()) << windows.reason().toStdString();
    EXPECT_EQ(windows->format, ImageFormat::Qcow2);
    EXPECT_EQ(windows->partition.number, 5);
    EXPECT_EQ(windows->volume->name(), QStringLiteral("win98.qcow2, partition 5"));
    EXPECT_EQ(label(*windows->volume), "WIN98");

    const Result<WindowsVolume> chosen = openWindowsVolume(image, ImageAccess::ReadOnly, labelledWin98, 1);
    ASSERT_TRUE(chosen.ok()) << chosen.reason().toStdString();
    EXPECT_EQ(label(*chosen->volume), "DATA");
    EXPECT_EQ(chosen->volume->size(), 4096 * sector);
}

} // namespace
} // namespace velmora::testing
