#pragma once

#include "core/Result.h"

#include <QByteArrayView>
#include <QtGlobal>

namespace velmora {

enum class FatType { Fat12, Fat16, Fat32 };

// Where everything of a FAT file system lies, from its boot sector, checked against itself and
// against the device that holds it. Offsets are bytes from the start of the volume.
struct FatLayout {
    FatType type = FatType::Fat12;
    quint32 bytesPerSector = 0;
    quint32 sectorsPerCluster = 0;
    quint32 reservedSectors = 0;
    quint32 fatCount = 0;
    quint32 sectorsPerFat = 0;
    quint32 rootEntryCount = 0; // FAT12/16: the fixed root folder's slots
    quint32 totalSectors = 0;
    quint32 clusterCount = 0; // data clusters, numbered 2 .. clusterCount + 1
    quint32 rootCluster = 0;  // FAT32 only
    quint32 fsInfoSector = 0; // FAT32 only; 0 when the volume has none
    quint32 activeFat = 0;    // the copy read; all copies are written unless mirroring is off
    bool mirrored = true;

    quint32 clusterBytes() const { return bytesPerSector * sectorsPerCluster; }
    qint64 fatOffset(quint32 copy) const
    {
        return (qint64(reservedSectors) + qint64(copy) * sectorsPerFat) * bytesPerSector;
    }
    qint64 fatBytes() const { return qint64(sectorsPerFat) * bytesPerSector; }
    qint64 rootOffset() const { return fatOffset(fatCount); } // FAT12/16 fixed root folder
    qint64 rootBytes() const { return qint64(rootEntryCount) * 32; }
    qint64 dataOffset() const;
    qint64 clusterOffset(quint32 cluster) const
    {
        return dataOffset() + qint64(cluster - 2) * clusterBytes();
    }
    bool isCluster(quint32 cluster) const { return cluster >= 2 && cluster - 2 < clusterCount; }

    // Reads the boot sector (at least 512 bytes) of a volume of deviceSize bytes.
    static Result<FatLayout> parse(QByteArrayView bootSector, qint64 deviceSize);
};

// The most clusters a volume may have before its FAT would not fit the memory we allow it.
constexpr quint32 kMaxClusters = 1u << 24;

} // namespace velmora
