// libFuzzer target: format recognition, partition tables (with their chains of logical
// partitions) and boot-sector recognition over arbitrary bytes taken as a whole disk. Whatever
// is accepted must lie inside the disk, be numbered as fdisk numbers it and never overlap.
#include "disk/BootSector.h"
#include "disk/ImageFormat.h"
#include "disk/MemoryDevice.h"
#include "disk/PartitionTable.h"
#include "disk/WindowsPartition.h"

#include <cstddef>
#include <cstdint>

namespace {

void check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

void checkLayout(QByteArrayView bytes)
{
    const QByteArrayView tail = bytes.last(qMin<qsizetype>(bytes.size(), velmora::imageTailBytes));
    const auto layout = velmora::recogniseImage(
        bytes.first(qMin<qsizetype>(bytes.size(), velmora::imageHeadBytes)), tail, bytes.size());
    if (layout && velmora::isRawFormat(layout->format)) {
        check(layout->dataOffset >= 0 && layout->dataLength >= 0);
        check(layout->dataOffset + layout->dataLength <= bytes.size());
    }
}

void checkPartitions(const QList<velmora::Partition>& partitions, qint64 diskSize)
{
    int nextLogical = 5;
    for (qsizetype i = 0; i < partitions.size(); ++i) {
        const velmora::Partition& p = partitions[i];
        check(p.offset >= 0 && p.length > 0 && p.offset + p.length <= diskSize);
        if (p.number == 0)
            check(partitions.size() == 1 && p.offset == 0);
        else if (p.number >= 5)
            check(p.number == nextLogical++);
        else
            check(p.number >= 1 && (i == 0 || partitions[i - 1].number < p.number));
        for (qsizetype j = 0; j < i; ++j)
            check(p.offset >= partitions[j].offset + partitions[j].length ||
                  partitions[j].offset >= p.offset + p.length);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkLayout(bytes);

    const auto disk = std::make_shared<velmora::MemoryDevice>(QStringLiteral("fuzz.img"), bytes);
    const auto partitions = velmora::readPartitions(*disk);
    if (!partitions)
        return 0;
    checkPartitions(*partitions, disk->size());

    const velmora::DriveCTest bootable = [](velmora::BlockDevice& volume) -> velmora::Result<bool> {
        const auto first = volume.read(0, qMin<qint64>(512, volume.size()));
        if (!first)
            return velmora::failure(first.reason());
        return velmora::looksLikeFatBootSector(*first);
    };
    const auto chosen = velmora::chooseWindowsPartition(disk, *partitions, bootable, std::nullopt);
    if (chosen) {
        check(chosen->volume->size() == chosen->partition.length);
        check(!chosen->volume->read(chosen->partition.length, 1).ok());
    }
    return 0;
}
