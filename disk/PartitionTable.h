#pragma once

#include "disk/BlockDevice.h"

#include <QList>

namespace velmora {

// One partition of a disk, or the whole disk when it holds a bare FAT volume.
struct Partition {
    // As fdisk numbers them: 1 to 4 the primary entries, 5 on the logical partitions in the
    // order of their chain; 0 for a disk with no partition table.
    int number = 0;
    quint8 type = 0;
    bool active = false;
    qint64 offset = 0; // bytes from the disk's start
    qint64 length = 0;
};

// The partitions of an MBR disk (primary entries and the extended partitions' chains; the
// extended containers themselves are not listed), or the whole disk when its first sector is a
// FAT boot sector. A GPT disk, a damaged table, a chain that loops or leaves its extended
// partition, or partitions past the disk's end or overlapping each other are refused.
Result<QList<Partition>> readPartitions(BlockDevice& disk);

// Partition types of FAT12, FAT16 and FAT32 (0 stands for a bare FAT volume).
bool isFatPartition(const Partition& partition);
// "partition 5 (FAT32, 2.0 GB, active)", or "the whole disk (FAT, no partition table)".
QString describePartition(const Partition& partition);

} // namespace velmora
