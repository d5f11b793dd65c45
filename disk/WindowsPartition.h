#pragma once

#include "disk/PartitionTable.h"

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

// Whether a FAT volume is a Windows 95/98/Me drive C. The file-system layer answers it; a
// failure (a volume it cannot read) counts as "no", and its reason is shown if nothing fits.
using DriveCTest = std::function<Result<bool>(BlockDevice& volume)>;

struct ChosenPartition {
    Partition partition;
    std::shared_ptr<BlockDevice> volume; // a window onto the disk, keeping the disk open
};

// Picks the partition Windows is on: the one the user asked for (`requested`, numbered as fdisk
// numbers them), else the only FAT partition that is a drive C, else the active one of several.
// No FAT partition, none that is a drive C, or several with none of them the active one, is
// refused naming what the disk holds.
Result<ChosenPartition> chooseWindowsPartition(const std::shared_ptr<BlockDevice>& disk,
                                               const QList<Partition>& partitions, const DriveCTest& isDriveC,
                                               std::optional<int> requested);

} // namespace velmora
