#include "disk/WindowsPartition.h"
#include "disk/MemoryDevice.h"

#include "DiskTools.h"

#include <optional>

namespace velmora::testing {
namespace {

constexpr qint64 mebibyte = 1 << 20;

// "1:06 5:0c*" (number:type, * for active): partitions a mebibyte long at `number` mebibytes;
// "0:00" is a bare FAT volume over the whole disk.
QList<Partition> partitions(const QString& listing)
{
    QList<Partition> parsed;
    for (const QString& item : listing.split(u' ')) {
        const int number = item.section(':', 0, 0).toInt();
        parsed.append(Partition{number, quint8(item.mid(item.indexOf(':') + 1, 2).toUInt(nullptr, 16)),
                                item.endsWith('*'), number * mebibyte, number ? mebibyte : 16 * mebibyte});
    }
    return parsed;
}

TEST(WindowsPartition, PicksTheDriveCOrSaysWhyNot)
{
    const struct {
        const char* name;
        const char* partitions;
        const char* driveC;  // what the file-system layer says of each partition: C, - (no), ! (fails)
        int requested;       // 0: none
        const char* outcome; // the chosen volume's name, or the words of the refusal
    } rows[] = {
        {"the one drive C beside others", "1:06 2:83 5:0c", "-?C", 0, "win98.img, partition 5"},
        {"a bare FAT volume", "0:00", "C", 0, "win98.img"},
        {"two drive Cs, the active one", "1:06 5:0c*", "CC", 0, "win98.img, partition 5"},
        {"two drive Cs, neither active", "1:06 5:0c", "CC", 0,
         "Windows is on more than one partition, and not on one active partition alone (partition 1 (FAT16, "
         "1.0 MB); partition 5 (FAT32, 1.0 MB)); choose one with --partition N"},
        {"two drive Cs, both active", "1:06* 5:0c*", "CC", 0, "Windows is on more than one partition"},
        {"no drive C, and one unreadable", "1:01 2:83 3:0e", "-?!", 0,
         "no partition holds Windows 95, 98 or Me (partition 1 (FAT12, 1.0 MB): no Windows on it; "
         "partition 3 (FAT16, 1.0 MB): the FAT is damaged)"},
        {"no FAT partition", "1:83 2:07", "CC", 0,
         "the disk holds no FAT12, FAT16 or FAT32 partition (it holds partition 1 (Linux, 1.0 MB); "
         "partition 2 (NTFS or exFAT, 1.0 MB))"},
        {"the partition asked for, drive C or not", "1:0c* 2:06", "C-", 2, "win98.img, partition 2"},
        {"a partition asked for that is not FAT", "1:0c 2:83", "C?", 2,
         "partition 2 (Linux, 1.0 MB) is not FAT"},
        {"a partition asked for that is not there", "1:0c 5:06", "C-", 3,
         "the disk has no partition 3; it holds partition 1 (FAT32, 1.0 MB); partition 5 (FAT16, 1.0 MB)"},
        {"a partition asked for without a table", "0:00", "C", 1, "the disk has no partition table"},
    };
    const auto disk = std::make_shared<MemoryDevice>("win98.img", patterned(16 * mebibyte, 3));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QList<Partition> listed = partitions(row.partitions);
        // The volume's first bytes tell which partition it is.
        const DriveCTest isDriveC = [&](BlockDevice& volume) -> Result<bool> {
            for (qsizetype i = 0; i < listed.size(); ++i)
                if (volume.read(0, 16).value() == disk->bytes().mid(listed[i].offset, 16) &&
                    row.driveC[i] != '!')
                    return row.driveC[i] == 'C';
            return failure("the FAT is damaged");
        };
        const Result<ChosenPartition> chosen = chooseWindowsPartition(
            disk, listed, isDriveC, row.requested ? std::optional(row.requested) : std::nullopt);
        const QString got = chosen ? chosen->volume->name() : chosen.reason();
        EXPECT_TRUE(got == row.outcome || (!chosen && got.contains(row.outcome))) << got.toStdString();
        if (!chosen)
            continue;
        // The volume is the partition's stretch of the disk and nothing beyond it.
        const qint64 end = chosen->partition.length;
        EXPECT_EQ(chosen->volume->size(), end);
        EXPECT_EQ(chosen->volume->read(end - 16, 16).value(),
                  disk->bytes().mid(chosen->partition.offset + end - 16, 16));
        EXPECT_FALSE(chosen->volume->read(end - 8, 16).ok() ||
                     chosen->volume->write(end, QByteArray(1, 'x')).ok());
    }
}

} // namespace
} // namespace velmora::testing
