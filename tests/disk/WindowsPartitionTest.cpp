#include "disk/WindowsPartition.h"
#include "disk/MemoryDevice.h"

#include "DiskTools.h"

#include <QSet>

#include <optional>

namespace velmora::testing {
namespace {

constexpr qint64 mebibyte = 1 << 20;

Partition fat32(int number, bool active = false)
{
    return Partition{number, 0x0C, active, number * mebibyte, mebibyte};
}
Partition fat16(int number, bool active = false)
{
    return Partition{number, 0x06, active, number * mebibyte, mebibyte};
}
Partition linuxPartition(int number)
{
    return Partition{number, 0x83, false, number * mebibyte, mebibyte};
}
Partition wholeDisk()
{
    return Partition{0, 0, false, 0, 16 * mebibyte};
}

struct Choice {
    const char* name;
    QList<Partition> partitions;
    QSet<int> driveC; // the partitions the file-system layer calls a drive C
    std::optional<int> requested;
    int chosen; // -1: refused
    const char* refusal;
};

TEST(WindowsPartition, PicksTheDriveCOrSaysWhyNot)
{
    const Choice rows[] = {
        {"the one drive C beside other partitions",
         {fat16(1), linuxPartition(2), fat32(5)},
         {5},
         {},
         5,
         nullptr},
        {"a bare FAT volume", {wholeDisk()}, {0}, {}, 0, nullptr},
        {"two drive Cs, the active one", {fat16(1), fat32(5, true)}, {1, 5}, {}, 5, nullptr},
        {"an active partition that is no drive C does not count",
         {fat16(1, true), fat32(2)},
         {2},
         {},
         2,
         nullptr},
        {"two drive Cs, neither active",
         {fat16(1), fat32(5)},
         {1, 5},
         {},
         -1,
         "Windows is on more than one partition, and not on one active partition alone (partition 1 (FAT16, "
         "1.0 MB); "
         "partition 5 (FAT32, 1.0 MB)); choose one with --partition N"},
        {"two drive Cs, both active",
         {fat16(1, true), fat32(5, true)},
         {1, 5},
         {},
         -1,
         "Windows is on more than one partition"},
        {"no drive C",
         {fat16(1), linuxPartition(2)},
         {},
         {},
         -1,
         "no partition holds Windows 95, 98 or Me (partition 1 (FAT16, 1.0 MB): no Windows on it)"},
        {"no FAT partition",
         {linuxPartition(1), Partition{2, 0x07, false, 2 * mebibyte, mebibyte}},
         {1, 2},
         {},
         -1,
         "the disk holds no FAT12, FAT16 or FAT32 partition (it holds partition 1 (Linux, 1.0 MB); "
         "partition 2 (NTFS or exFAT, 1.0 MB))"},
        {"the partition asked for, drive C or not", {fat32(1, true), fat16(2)}, {1}, 2, 2, nullptr},
        {"a partition asked for that is not FAT",
         {fat32(1), linuxPartition(2)},
         {1},
         2,
         -1,
         "partition 2 (Linux, 1.0 MB) is not FAT12, FAT16 or FAT32"},
        {"a partition asked for that is not there",
         {fat32(1), fat16(5)},
         {1},
         3,
         -1,
         "the disk has no partition 3; it holds partition 1 (FAT32, 1.0 MB); partition 5 (FAT16, 1.0 MB)"},
        {"a partition asked for on a disk without a table",
         {wholeDisk()},
         {0},
         1,
         -1,
         "the disk has no partition table"},
    };
    const auto disk =
        std::make_shared<MemoryDevice>(QStringLiteral("win98.img"), patterned(16 * mebibyte, 3));
    for (const Choice& row : rows) {
        SCOPED_TRACE(row.name);
        const DriveCTest isDriveC = [&](BlockDevice& volume) -> Result<bool> {
            for (const Partition& p : row.partitions) {
                if (volume.name().endsWith(QStringLiteral("partition %1").arg(p.number)) ||
                    (p.number == 0 && volume.name() == disk->name()))
                    return row.driveC.contains(p.number);
            }
            return failure(QStringLiteral("asked about an unknown volume"));
        };
        const Result<ChosenPartition> chosen =
            chooseWindowsPartition(disk, row.partitions, isDriveC, row.requested);
        if (row.chosen < 0) {
            ASSERT_FALSE(chosen.ok());
            EXPECT_TRUE(chosen.reason().contains(QLatin1String(row.refusal)))
                << chosen.reason().toStdString();
            continue;
        }
        ASSERT_TRUE(chosen.ok()) << chosen.reason().toStdString();
        EXPECT_EQ(chosen->partition.number, row.chosen);
        // The volume is the partition's stretch of the disk and nothing beyond it.
        const qint64 length = chosen->partition.length;
        EXPECT_EQ(chosen->volume->size(), length);
        EXPECT_EQ(*chosen->volume->read(length - 16, 16),
                  disk->bytes().mid(chosen->partition.offset + length - 16, 16));
        EXPECT_FALSE(chosen->volume->read(length - 8, 16).ok());
        EXPECT_FALSE(chosen->volume->write(length, QByteArray(1, 'x')).ok());
    }
}

// A volume the file-system layer cannot read is passed over, and its reason is shown.
TEST(WindowsPartition, ShowsWhyAVolumeCouldNotBeRead)
{
    const auto disk =
        std::make_shared<MemoryDevice>(QStringLiteral("win98.img"), QByteArray(4 * mebibyte, '\0'));
    const DriveCTest damaged = [](BlockDevice&) -> Result<bool> {
        return failure(QStringLiteral("the FAT is damaged"));
    };
    const Result<ChosenPartition> chosen = chooseWindowsPartition(disk, {fat32(1)}, damaged, {});
    ASSERT_FALSE(chosen.ok());
    EXPECT_EQ(chosen.reason(),
              QStringLiteral("no partition holds Windows 95, 98 or Me (partition 1 (FAT32, 1.0 MB): "
                             "the FAT is damaged)"));
}

} // namespace
} // namespace velmora::testing
