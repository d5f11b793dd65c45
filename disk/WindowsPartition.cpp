#include "disk/WindowsPartition.h"

#include "disk/DeviceWindow.h"

#include <QStringList>

namespace velmora {

namespace {

std::shared_ptr<BlockDevice> windowOnto(const std::shared_ptr<BlockDevice>& disk, const Partition& partition)
{
    const QString name = partition.number == 0
                             ? disk->name()
                             : QStringLiteral("%1, partition %2").arg(disk->name()).arg(partition.number);
    return std::make_shared<DeviceWindow>(disk, name, partition.offset, partition.length);
}

QString listed(const QList<Partition>& partitions)
{
    QStringList described;
    for (const Partition& partition : partitions)
        described.append(describePartition(partition));
    return described.join(QStringLiteral("; "));
}

Result<ChosenPartition> requestedPartition(const std::shared_ptr<BlockDevice>& disk,
                                           const QList<Partition>& partitions, int requested)
{
    if (partitions.size() == 1 && partitions.front().number == 0)
        return failure(
            QStringLiteral("the disk has no partition table, so there is no partition %1 to choose")
                .arg(requested));
    for (const Partition& partition : partitions) {
        if (partition.number != requested)
            continue;
        if (!isFatPartition(partition))
            return failure(
                QStringLiteral("%1 is not FAT12, FAT16 or FAT32").arg(describePartition(partition)));
        return ChosenPartition{partition, windowOnto(disk, partition)};
    }
    return failure(
        QStringLiteral("the disk has no partition %1; it holds %2").arg(requested).arg(listed(partitions)));
}

} // namespace

Result<ChosenPartition> chooseWindowsPartition(const std::shared_ptr<BlockDevice>& disk,
                                               const QList<Partition>& partitions, const DriveCTest& isDriveC,
                                               std::optional<int> requested)
{
    if (requested)
        return requestedPartition(disk, partitions, *requested);

    QList<ChosenPartition> candidates;
    QStringList rejected;
    for (const Partition& partition : partitions) {
        if (!isFatPartition(partition))
            continue;
        std::shared_ptr<BlockDevice> volume = windowOnto(disk, partition);
        const Result<bool> driveC = isDriveC(*volume);
        if (driveC.ok() && *driveC)
            candidates.append(ChosenPartition{partition, std::move(volume)});
        else
            rejected.append(QStringLiteral("%1: %2").arg(describePartition(partition),
                                                         driveC.ok() ? QStringLiteral("no Windows on it")
                                                                     : driveC.reason()));
    }
    if (candidates.size() == 1)
        return candidates.front();
    if (candidates.isEmpty() && rejected.isEmpty())
        return failure(QStringLiteral("the disk holds no FAT12, FAT16 or FAT32 partition (it holds %1)")
                           .arg(listed(partitions)));
    if (candidates.isEmpty())
        return failure(QStringLiteral("no partition holds Windows 95, 98 or Me (%1)")
                           .arg(rejected.join(QStringLiteral("; "))));

    // Only one partition can be active on a sound disk; two active ones decide nothing.
    QList<Partition> found;
    const ChosenPartition* active = nullptr;
    int activeCount = 0;
    for (const ChosenPartition& candidate : candidates) {
        found.append(candidate.partition);
        if (candidate.partition.active) {
            active = &candidate;
            ++activeCount;
        }
    }
    if (activeCount == 1)
        return *active;
    return failure(QStringLiteral("Windows is on more than one partition, and not on one active partition "
                                  "alone (%1); choose one with --partition N")
                       .arg(listed(found)));
}

} // namespace velmora
