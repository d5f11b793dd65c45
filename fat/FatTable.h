#pragma once

#include "fat/FatLayout.h"

#include <QByteArray>

namespace velmora {

// One copy of the file allocation table, held as its bytes: the next cluster of every cluster,
// read and changed in place so the changed sectors can be found by comparing with the original.
class FatTable {
public:
    static constexpr quint32 kFree = 0;

    FatTable() = default;
    FatTable(FatType type, quint32 clusterCount, QByteArray bytes)
        : m_type(type), m_clusterCount(clusterCount), m_bytes(std::move(bytes))
    {
    }

    // The entry of a cluster (2 .. clusterCount + 1), without FAT32's four reserved bits.
    quint32 next(quint32 cluster) const;
    // Sets the entry, keeping FAT32's reserved bits as they were.
    void set(quint32 cluster, quint32 value);

    bool isEnd(quint32 value) const { return value >= endMarker() - 7; }
    bool isBad(quint32 value) const { return value == endMarker() - 8; }
    quint32 endMarker() const
    {
        return m_type == FatType::Fat12 ? 0xFFF : m_type == FatType::Fat16 ? 0xFFFF : 0x0FFFFFFF;
    }
    quint32 freeCount() const;

    const QByteArray& bytes() const { return m_bytes; }

private:
    FatType m_type = FatType::Fat12;
    quint32 m_clusterCount = 0;
    QByteArray m_bytes;
};

} // namespace velmora
