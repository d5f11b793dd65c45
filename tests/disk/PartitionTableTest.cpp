#include "disk/DiskImage.h"
#include "disk/MemoryDevice.h"
#include "disk/WindowsPartition.h"

#include "DiskTools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

namespace velmora::testing {
namespace {

// A partition as "number:start:size:type:active", sectors counted, the type in hex.
QString listed(const QString& number, qint64 start, qint64 size, const QString& type, bool active)
{
    return QString("%1:%2:%3:%4:%5").arg(number).arg(start).arg(size).arg(type).arg(int(active));
}

// The partitions as sfdisk lists them, extended containers left out.
QStringList sfdiskListing(const QString& image)
{
    QStringList listing;
    for (const QJsonValue& entry :
         QJsonDocument::fromJson(run("sfdisk -J " + image))["partitiontable"]["partitions"].toArray()) {
        const QString type = entry["type"].toString();
        if (type != "5" && type != "f")
            listing.append(listed(entry["node"].toString().mid(image.size()), entry["start"].toInteger(),
                                  entry["size"].toInteger(), type, entry["bootable"].toBool()));
    }
    return listing;
}

QStringList velmoraListing(const QList<Partition>& partitions)
{
    QStringList listing;
    for (const Partition& p : partitions)
        listing.append(listed(QString::number(p.number), p.offset / 512, p.length / 512,
                              QString::number(p.type, 16), p.active));
    return listing;
}

// Sets field `at` (+4 type, +8 start, +12 count) of entry `index` of the table in sector `table`.
void patch(QByteArray& bytes, qint64 table, int index, int at, quint32 value)
{
    const qint64 offset = table * 512 + 446 + 16 * index + at;
    if (at == 4)
        bytes[offset] = char(value);
    else
        qToLittleEndian(value, bytes.data() + offset);
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

TEST(PartitionTable, ListsWhatSfdiskListsAndRefusesTheRest)
{
    const struct {
        const char* name;
        const char* sfdisk; // or "mkfs.fat OPTIONS": a bare FAT volume
        void (*damage)(QByteArray&);
        const char* refusal; // nullptr: the listing must agree with sfdisk's
    } rows[] = {
        {"one FAT32 primary, active", "2048,,c,*\n", nullptr, nullptr},
        {"four primaries, the third active", "2048,2048,1\n4096,2048,6\n6144,2048,b,*\n8192,,83\n", nullptr,
         nullptr},
        {"an extended partition with three logicals", threeLogicals, nullptr, nullptr},
        {"an extended partition, then a primary", "2048,8192,f\n10240,,c\n,2048,6\n,2048,b,*\n", nullptr,
         nullptr},
        {"a bare FAT volume", "mkfs.fat", nullptr, nullptr},
        {"a bare FAT volume of the largest sectors", "mkfs.fat -S 4096", nullptr, nullptr},
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
        SCOPED_TRACE(row.name);
        const Scratch scratch;
        const bool bare = QString(row.sfdisk).startsWith("mkfs.fat");
        const QString image = bare ? scratch.path("disk.img") : scratch.rawDisk(8, row.sfdisk);
        if (bare)
            run(QString("%1 -C %2 8192").arg(row.sfdisk, image));
        QByteArray bytes = readBytes(image);
        if (row.damage)
            row.damage(bytes);
        MemoryDevice disk("disk.img", bytes);
        const Result<QList<Partition>> partitions = readPartitions(disk);
        if (row.refusal != nullptr) {
            ASSERT_FALSE(partitions.ok()) << velmoraListing(*partitions).join(' ').toStdString();
            EXPECT_TRUE(partitions.reason().contains(row.refusal)) << partitions.reason().toStdString();
            continue;
        }
        ASSERT_TRUE(partitions.ok()) << partitions.reason().toStdString();
        EXPECT_EQ(velmoraListing(*partitions), bare ? QStringList{"0:0:16384:0:0"} : sfdiskListing(image));
    }
}

// The whole way from an image file to the volume Windows is on: a qcow2 disk holding a data
// partition and, as a logical partition, the Windows one, whose boot sector the volume reads.
TEST(PartitionTable, OpensTheWindowsVolumeInsideAnImage)
{
    const Scratch scratch;
    const QString raw = scratch.rawDisk(8, "2048,4096,6\n6144,,f\n,4096,e,*\n");
    run(QString("mkfs.fat --offset=2048 -n DATA %1 2048").arg(raw));
    run(QString("mkfs.fat --offset=8192 -n WIN98 %1 2048").arg(raw));
    const QString image = scratch.converted(raw, "win98.qcow2", "qcow2");
    const auto label = [](BlockDevice& volume) {
        const Result<QByteArray> boot = volume.read(0, 512);
        return boot ? boot->mid(43, 11).trimmed() : QByteArray();
    };
    const DriveCTest win98 = [&](BlockDevice& volume) -> Result<bool> { return label(volume) == "WIN98"; };

    const Result<DiskImage> disk = openDiskImage(image, ImageAccess::ReadOnly);
    ASSERT_TRUE(disk.ok()) << disk.reason().toStdString();
    EXPECT_EQ(disk->layout.format, ImageFormat::Qcow2);
    const Result<QList<Partition>> partitions = readPartitions(*disk->disk);
    ASSERT_TRUE(partitions.ok()) << partitions.reason().toStdString();
    const Result<ChosenPartition> windows = chooseWindowsPartition(disk->disk, *partitions, win98, {});
    ASSERT_TRUE(windows.ok()) << windows.reason().toStdString();
    EXPECT_EQ(windows->volume->name(), "win98.qcow2, partition 5");
    EXPECT_EQ(label(*windows->volume), "WIN98");
}

} // namespace
} // namespace velmora::testing
