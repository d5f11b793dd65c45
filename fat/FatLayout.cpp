#include "fat/FatLayout.h"

#include "fat/LittleEndian.h"

#include <QString>

#include <bit>

namespace velmora {

qint64 FatLayout::dataOffset() const
{
    const qint64 rootSectors = (rootBytes() + bytesPerSector - 1) / bytesPerSector;
    return rootOffset() + rootSectors * bytesPerSector;
}

Result<FatLayout> FatLayout::parse(QByteArrayView b, qint64 deviceSize)
{
    if (b.size() < 512)
        return failure(QStringLiteral("the volume is too small to hold a boot sector"));
    if (quint8(b[510]) != 0x55 || quint8(b[511]) != 0xAA)
        return failure(QStringLiteral("the boot sector has no 55 AA signature: it is no FAT file system"));
    FatLayout l;
    l.bytesPerSector = le16(b, 11);
    l.sectorsPerCluster = quint8(b[13]);
    l.reservedSectors = le16(b, 14);
    l.fatCount = quint8(b[16]);
    l.rootEntryCount = le16(b, 17);
    l.totalSectors = le16(b, 19) != 0 ? le16(b, 19) : le32(b, 32);
    const quint32 fat16Size = le16(b, 22);
    l.sectorsPerFat = fat16Size != 0 ? fat16Size : le32(b, 36);

    if (l.bytesPerSector < 512 || l.bytesPerSector > 4096 || !std::has_single_bit(l.bytesPerSector))
        return failure(QStringLiteral("the boot sector gives %1 bytes per sector").arg(l.bytesPerSector));
    if (l.sectorsPerCluster == 0 || !std::has_single_bit(l.sectorsPerCluster) || l.clusterBytes() > 65536)
        return failure(
            QStringLiteral("the boot sector gives %1 sectors per cluster").arg(l.sectorsPerCluster));
    if (l.reservedSectors == 0)
        return failure(QStringLiteral("the boot sector reserves no sector for itself"));
    if (l.fatCount < 1 || l.fatCount > 4)
        return failure(QStringLiteral("the boot sector gives %1 copies of the FAT").arg(l.fatCount));
    if (fat16Size != 0 && l.rootEntryCount == 0)
        return failure(QStringLiteral("the boot sector gives the root folder no entries"));
    if (l.sectorsPerFat == 0)
        return failure(QStringLiteral("the boot sector gives a FAT of no sectors"));
    if (qint64(l.totalSectors) * l.bytesPerSector > deviceSize)
        return failure(QStringLiteral("the file system claims %1 bytes but its partition holds %2")
                           .arg(qint64(l.totalSectors) * l.bytesPerSector)
                           .arg(deviceSize));
    const qint64 metaSectors = (l.dataOffset() + l.bytesPerSector - 1) / l.bytesPerSector;
    if (metaSectors >= l.totalSectors)
        return failure(QStringLiteral("the FATs and root folder leave no room for data"));
    const qint64 clusters = (l.totalSectors - metaSectors) / l.sectorsPerCluster;
    if (clusters < 1)
        return failure(QStringLiteral("the file system has no data cluster"));
    if (clusters > kMaxClusters)
        return failure(
            QStringLiteral("the file system has %1 clusters, more than can be handled").arg(clusters));
    l.clusterCount = quint32(clusters);
    l.type = clusters < 4085 ? FatType::Fat12 : clusters < 65525 ? FatType::Fat16 : FatType::Fat32;

    // The cluster count decides the type; the boot sector's own fields must agree with it.
    const bool fat32Fields = fat16Size == 0 && l.rootEntryCount == 0;
    if ((l.type == FatType::Fat32) != fat32Fields)
        return failure(QStringLiteral("the boot sector's fields do not match a FAT%1 of %2 clusters")
                           .arg(l.type == FatType::Fat12   ? 12
                                : l.type == FatType::Fat16 ? 16
                                                           : 32)
                           .arg(clusters));
    const qint64 entryBits = l.type == FatType::Fat12 ? 12 : l.type == FatType::Fat16 ? 16 : 32;
    if ((qint64(l.clusterCount) + 2) * entryBits > l.fatBytes() * 8)
        return failure(QStringLiteral("the FAT of %1 sectors is too small for %2 clusters")
                           .arg(l.sectorsPerFat)
                           .arg(l.clusterCount));
    if (l.type == FatType::Fat32) {
        if (le16(b, 42) != 0)
            return failure(QStringLiteral("the FAT32 version %1 is unknown").arg(le16(b, 42)));
        const quint16 flags = le16(b, 40);
        l.mirrored = (flags & 0x80) == 0;
        l.activeFat = l.mirrored ? 0 : flags & 0x0F;
        if (l.activeFat >= l.fatCount)
            return failure(QStringLiteral("the boot sector names FAT copy %1 of %2 as active")
                               .arg(l.activeFat)
                               .arg(l.fatCount));
        l.rootCluster = le32(b, 44);
        if (!l.isCluster(l.rootCluster))
            return failure(
                QStringLiteral("the root folder's cluster %1 is outside the volume").arg(l.rootCluster));
        const quint32 info = le16(b, 48);
        l.fsInfoSector = info != 0 && info != 0xFFFF && info < l.reservedSectors ? info : 0;
    }
    return l;
}

} // namespace velmora
