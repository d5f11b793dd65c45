#pragma once

#include "disk/BlockDevice.h"

#include <QByteArray>

#include <vector>

namespace velmora {

// One run of whole sectors a save writes: where it starts on the volume and its new bytes.
struct SectorWrite {
    qint64 offset = 0;
    QByteArray bytes;
};

// Every write of one save, decided before the first is made, in the order they are to be made:
// file data and new folder clusters first, then every copy of the FAT, the folder entry and
// the FSInfo sector last. Whoever wraps the device (an undo journal) sees exactly these writes.
using WritePlan = std::vector<SectorWrite>;

// Makes the writes in order; stops at the first that fails. Does not flush.
Result<void> applyPlan(BlockDevice& device, const WritePlan& plan);

} // namespace velmora
