#include "fat/FatTable.h"

#include "fat/LittleEndian.h"

namespace velmora {

quint32 FatTable::next(quint32 cluster) const
{
    switch (m_type) {
    case FatType::Fat12: {
        const quint16 pair = le16(m_bytes, cluster + cluster / 2);
        return cluster & 1 ? pair >> 4 : pair & 0x0FFF;
    }
    case FatType::Fat16:
        return le16(m_bytes, qsizetype(cluster) * 2);
    case FatType::Fat32:
        return le32(m_bytes, qsizetype(cluster) * 4) & 0x0FFFFFFF;
    }
    return 0;
}

void FatTable::set(quint32 cluster, quint32 value)
{
    switch (m_type) {
    case FatType::Fat12: {
        const qsizetype at = cluster + cluster / 2;
        const quint16 pair = le16(m_bytes, at);
        putLe16(m_bytes, at,
                cluster & 1 ? quint16((pair & 0x000F) | (value << 4))
                            : quint16((pair & 0xF000) | (value & 0x0FFF)));
        break;
    }
    case FatType::Fat16:
        putLe16(m_bytes, qsizetype(cluster) * 2, quint16(value));
        break;
    case FatType::Fat32: {
        const qsizetype at = qsizetype(cluster) * 4;
        putLe32(m_bytes, at, (le32(m_bytes, at) & 0xF0000000) | (value & 0x0FFFFFFF));
        break;
    }
    }
}

// Every save counts every entry (a 2 GB FAT32 volume has half a million): one loop per width.
quint32 FatTable::freeCount() const
{
    quint32 free = 0;
    const quint32 end = m_clusterCount + 2;
    const char* bytes = m_bytes.constData();
    switch (m_type) {
    case FatType::Fat12:
        for (quint32 c = 2; c < end; ++c)
            free += next(c) == kFree;
        break;
    case FatType::Fat16:
        for (quint32 c = 2; c < end; ++c)
            free += qFromLittleEndian<quint16>(bytes + qsizetype(c) * 2) == kFree;
        break;
    case FatType::Fat32:
        for (quint32 c = 2; c < end; ++c)
            free += (qFromLittleEndian<quint32>(bytes + qsizetype(c) * 4) & 0x0FFFFFFF) == kFree;
        break;
    }
    return free;
}

} // namespace velmora
