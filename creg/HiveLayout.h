#pragma once

// The binary hive file's structures, field by field (docs/creg-format.md), and the few helpers
// the reader and the editor both use to read and write them. Private to creg/.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtEndian>

namespace velmora::hive {

// The layout of the file (all integers little-endian).
constexpr quint32 kTree = 0x20;      // the key tree follows the 32-byte file header
constexpr quint32 kEntrySize = 28;   // one key-tree entry
constexpr quint32 kPage = 0x1000;    // the key tree grows by pages
constexpr quint32 kBlockHeader = 32; // a data block's header
constexpr quint32 kRecordHeader = 20;
constexpr quint32 kValueHeader = 12;
constexpr quint32 kNone = 0xFFFFFFFF;
constexpr quint32 kFreeEntry = 0x80000000;
constexpr quint32 kMaxBlock = 0x10000; // a block's size is kept in 16 bits by Windows' loader
constexpr int kIds = 255;              // ids 0-254 in a block
constexpr quint32 kText = 1;           // REG_SZ

// Where each field lies inside its structure (docs/creg-format.md).
struct FileHeader {
    static constexpr quint32 firstBlock = 0x08; // the one file offset in the file
    static constexpr quint32 checksum = 0x0C;
    static constexpr quint32 blockCount = 0x10;
    static constexpr quint32 flags = 0x12;
};
struct TreeHeader { // from the key tree's start
    static constexpr quint32 size = 0x04;
    static constexpr quint32 rootEntry = 0x08;
    static constexpr quint32 firstFree = 0x0C;
    static constexpr quint32 flags = 0x10;
    static constexpr quint32 checksum = 0x14;
};
struct TreeEntry {
    static constexpr quint32 hash = 0x04;
    static constexpr quint32 freeRun = 0x04;  // in a free entry, instead of the hash
    static constexpr quint32 nextFree = 0x08; // in a free entry; leftovers in a key's
    static constexpr quint32 parent = 0x0C;
    static constexpr quint32 firstChild = 0x10;
    static constexpr quint32 nextSibling = 0x14;
    static constexpr quint32 recordId = 0x18;
    static constexpr quint32 block = 0x1A;
};
struct BlockHeader {
    static constexpr quint32 size = 0x04;
    static constexpr quint32 freeBytes = 0x08;
    static constexpr quint32 flags = 0x0C;
    static constexpr quint32 number = 0x0E;
    static constexpr quint32 firstFree = 0x10;
    static constexpr quint32 highestId = 0x14;
    static constexpr quint32 lowestFreeId = 0x16;
    static constexpr quint32 checksum = 0x1C;
};
struct KeyRecord { // its allocated size comes first
    static constexpr quint32 id = 0x04;
    static constexpr quint32 block = 0x06;
    static constexpr quint32 used = 0x08;
    static constexpr quint32 nextFree = 0x08; // in a free record, instead of the used size
    static constexpr quint32 nameLength = 0x0C;
    static constexpr quint32 valueCount = 0x0E;
};
struct ValueHeader { // its type comes first
    static constexpr quint32 unknown = 0x04;
    static constexpr quint32 nameLength = 0x08;
    static constexpr quint32 dataLength = 0x0A;
};

inline quint16 u16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
inline quint32 u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}
inline void put16(char* p, quint32 v)
{
    qToLittleEndian<quint16>(quint16(v), p);
}
inline void put32(char* p, quint32 v)
{
    qToLittleEndian<quint32>(v, p);
}

inline QString hex(quint64 v)
{
    return QStringLiteral("0x") + QString::number(v, 16).toUpper();
}

inline quint32 roundUp(quint32 v, quint32 step)
{
    return (v + step - 1) / step * step;
}

// A structure whose flags carry bit 4 keeps its dwords summing to 0.
inline void fixChecksum(char* start, quint32 length, quint32 flags, quint32 field)
{
    if (!(flags & 4))
        return;
    put32(start + field, 0);
    quint32 sum = 0;
    for (quint32 i = 0; i + 4 <= length; i += 4)
        sum += u32(start + i);
    put32(start + field, 0u - sum);
}

inline void fixHeaderChecksum(QByteArray& bytes)
{
    fixChecksum(bytes.data(), kTree, u16(bytes.constData() + FileHeader::flags), FileHeader::checksum);
}

inline void fixTreeChecksum(QByteArray& bytes)
{
    char* tree = bytes.data() + kTree;
    fixChecksum(tree, u32(tree + TreeHeader::size), u32(tree + TreeHeader::flags), TreeHeader::checksum);
}

inline QByteArray valueBytes(quint32 type, quint32 unknown, QByteArrayView name, QByteArrayView data)
{
    QByteArray v(kValueHeader, '\0');
    put32(v.data(), type);
    put32(v.data() + ValueHeader::unknown, unknown);
    put16(v.data() + ValueHeader::nameLength, quint32(name.size()));
    put16(v.data() + ValueHeader::dataLength, quint32(data.size()));
    v += name;
    v += data;
    return v;
}

} // namespace velmora::hive
