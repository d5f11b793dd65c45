#include "disk/BootSector.h"

#include "disk/ByteFields.h"

#include <bit>

namespace velmora {

bool looksLikeFatBootSector(QByteArrayView sector)
{
    if (sector.size() < 512 || !bytesAt(sector, 510, "\x55\xAA"))
        return false;
    const auto jump = quint8(sector[0]);
    if (!((jump == 0xEB && quint8(sector[2]) == 0x90) || jump == 0xE9))
        return false;
    const auto bytesPerSector = littleEndianAt<quint16>(sector, 11);
    const auto sectorsPerCluster = quint8(sector[13]);
    const auto reservedSectors = littleEndianAt<quint16>(sector, 14);
    const auto fatCount = quint8(sector[16]);
    const auto media = quint8(sector[21]);
    const bool someSectors =
        littleEndianAt<quint16>(sector, 19) != 0 || littleEndianAt<quint32>(sector, 32) != 0;
    return bytesPerSector >= 512 && bytesPerSector <= 4096 && std::has_single_bit(bytesPerSector) &&
           sectorsPerCluster != 0 && std::has_single_bit(sectorsPerCluster) && reservedSectors >= 1 &&
           fatCount >= 1 && fatCount <= 4 && (media == 0xF0 || media >= 0xF8) && someSectors;
}

} // namespace velmora
