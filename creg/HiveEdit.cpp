// The editor: every change returns the file's bytes with that one change made, touching only
// the blocks and key-tree entries it must.
#include "creg/HiveImage.h"

#include "creg/HiveLayout.h"
#include "regedit4/RegistryFile.h"

#include <algorithm>
#include <cstring>

namespace velmora {

using namespace hive;

int HiveImage::lowestFreeId(int block) const
{
    int id = 0;
    while (id < kIds && recordAt(block, id))
        ++id;
    return id;
}

Result<QByteArray> HiveImage::withValue(int key, QByteArrayView name, quint32 type, QByteArrayView data) const
{
    // A caller that counts the terminator in the size passes it along (RegSetValueEx with
    // strlen + 1). Expandable text keeps what it is given: Windows stores it with its NUL.
    if (type == kText && data.endsWith('\0'))
        data = data.first(data.size() - 1);
    if (data.size() > kMaxValueData)
        return failure(
            QStringLiteral("a value can hold at most 16,300 bytes, this one has %1").arg(data.size()));
    if (name.size() > 0xFFFF)
        return failure(QStringLiteral("the value name is too long"));
    const quint32 record = m_keys[size_t(key)].record;
    if (!record)
        return failure(QStringLiteral("the top key of this registry holds no values"));
    const char* r = m_bytes.constData() + record;
    const quint32 count = u16(r + KeyRecord::valueCount);
    QByteArray fresh(r, qsizetype(kRecordHeader + u16(r + KeyRecord::nameLength)));
    const char* v = r + fresh.size();
    bool replaced = false;
    for (quint32 n = 0; n < count; ++n) {
        const quint16 nameLength = u16(v + ValueHeader::nameLength),
                      dataLength = u16(v + ValueHeader::dataLength);
        const QByteArrayView stored(v + kValueHeader, nameLength);
        if (!replaced && regfile::namesEqual(stored, name)) {
            fresh += valueBytes(type, u32(v + ValueHeader::unknown), stored, data);
            replaced = true;
        } else {
            fresh.append(v, kValueHeader + nameLength + dataLength);
        }
        v += kValueHeader + nameLength + dataLength;
    }
    if (!replaced) {
        if (count == 0xFFFF)
            return failure(QStringLiteral("the key holds too many values"));
        fresh += valueBytes(type, 0, name, data);
        put16(fresh.data() + KeyRecord::valueCount, count + 1);
    }
    if (fresh.size() > qsizetype(largestRecord()))
        return failure(
            QStringLiteral("the key's names and values would take %1 bytes, more than the 60 KB a key "
                           "can hold")
                .arg(fresh.size()));
    put32(fresh.data() + KeyRecord::used, quint32(fresh.size()));
    QByteArray bytes = m_bytes;
    const int block = u16(r + KeyRecord::block), id = u16(r + KeyRecord::id);
    if (placeRecord(bytes, block, id, fresh, false))
        return bytes;

    // Its block would outgrow 64 KB: the record moves to a block with room, or a new one, and
    // its key's tree entry follows it. Records are found by block and id alone, so nothing else
    // names the old place.
    freeRecord(bytes, block, id);
    const auto moved = placeNewRecord(bytes, std::move(fresh), -1, block);
    if (!moved)
        return failure(moved.reason());
    char* entry = bytes.data() + kTree + m_keys[size_t(key)].entry;
    put16(entry + TreeEntry::recordId, quint32(moved->id));
    put16(entry + TreeEntry::block, quint32(moved->block));
    fixTreeChecksum(bytes);
    fixHeaderChecksum(bytes);
    return bytes;
}

// The most a key's record may take: 60 KB, and no more than a block below 64 KB can hold.
quint32 HiveImage::largestRecord() const
{
    const quint32 largestBlock = isNinetyEight() ? kMaxBlock - kPage : kMaxBlock - 4;
    return std::min(quint32(kMaxKeyRecord), largestBlock - kBlockHeader);
}

// Whether placeRecord can add a record of that size to the block: a free id, and its live
// records and the new one still fit below 64 KB.
bool HiveImage::hasRoom(int block, quint32 recordSize) const
{
    const quint32 filled = kBlockHeader + m_blocks[size_t(block)].live + recordSize;
    return lowestFreeId(block) < kIds && roundUp(filled, isNinetyEight() ? kPage : 4) < kMaxBlock;
}

// Turns a live record into a free one where it lies, leaving the rest of its block as it was.
void HiveImage::freeRecord(QByteArray& bytes, int block, int id) const
{
    const Block& where = m_blocks[size_t(block)];
    char* start = bytes.data() + where.offset;
    const quint32 at = recordAt(block, id);
    char* r = bytes.data() + at;
    const quint32 allocated = u32(r);
    put32(r + KeyRecord::id, kNone);
    put32(r + KeyRecord::nextFree,
          u32(start + BlockHeader::firstFree)); // first in the block's chain of free records
    put32(start + BlockHeader::firstFree, at - where.offset);
    put32(start + BlockHeader::freeBytes, where.size - kBlockHeader - (where.live - allocated));
    int lowest = 0;
    while (lowest < kIds && lowest != id && recordAt(block, lowest))
        ++lowest;
    put16(start + BlockHeader::lowestFreeId, quint32(lowest));
    fixChecksum(start, where.size, u16(start + BlockHeader::flags), BlockHeader::checksum);
}

// Gives a record that no block holds yet a place: the preferred block when it has room, else
// the last block that has (never the avoided one), else a new block at the file's end.
Result<HiveImage::Place> HiveImage::placeNewRecord(QByteArray& bytes, QByteArray record, int preferred,
                                                   int avoided) const
{
    const auto size = quint32(record.size());
    int block = preferred >= 0 && preferred != avoided && hasRoom(preferred, size) ? preferred : -1;
    for (int b = int(m_blocks.size()) - 1; block < 0 && b >= 0; --b)
        if (b != avoided && hasRoom(b, size))
            block = b;
    if (block < 0) {
        if (m_blocks.size() >= 0xFFFF) // the header counts them in 16 bits
            return failure(QStringLiteral("the file holds as many data blocks as it can"));
        appendBlock(bytes, std::move(record));
        return Place{int(m_blocks.size()), 0};
    }
    const int id = lowestFreeId(block);
    put16(record.data() + KeyRecord::id, quint32(id));
    put16(record.data() + KeyRecord::block, quint32(block));
    if (auto placed = placeRecord(bytes, block, id, std::move(record), true); !placed)
        return failure(placed.reason());
    return Place{block, id};
}

// Puts a key's record into its block: where it was when it still fits there, leaving every
// other byte as it was; otherwise the block is re-packed (its live records in their order and
// with their ids, its free space gathered at its end) and grows if it must.
Result<void> HiveImage::placeRecord(QByteArray& bytes, int block, int id, QByteArray record, bool isNew) const
{
    const Block& where = m_blocks[size_t(block)];
    char* start = bytes.data() + where.offset;
    const quint32 flags = u16(start + BlockHeader::flags);
    if (!isNew) {
        const quint32 at = recordAt(block, id);
        const quint32 allocated = u32(bytes.constData() + at);
        if (quint32(record.size()) <= allocated) {
            put32(record.data(), allocated);
            std::memcpy(bytes.data() + at, record.constData(), size_t(record.size()));
            fixChecksum(start, where.size, flags, BlockHeader::checksum);
            return {};
        }
    }
    put32(record.data(), quint32(record.size()));
    QByteArray body;
    body.reserve(qsizetype(where.size) + record.size());
    qsizetype last = 0; // the last record in body
    int highest = u16(start + BlockHeader::highestId);
    const quint32 end = where.offset + where.size;
    for (quint32 at = where.offset + kBlockHeader; at < end;) {
        const char* r = bytes.constData() + at;
        const quint32 allocated = u32(r);
        if (u32(r + KeyRecord::id) != kNone) {
            last = body.size();
            if (!isNew && u16(r + KeyRecord::id) == id)
                body += record;
            else
                body.append(r, allocated);
            highest = std::max<int>(highest, u16(r + KeyRecord::id));
        }
        at += allocated;
    }
    if (isNew) {
        last = body.size();
        body += record;
        highest = std::max(highest, id);
    }
    const quint32 filled = kBlockHeader + quint32(body.size());
    const quint32 size = std::max(where.size, roundUp(filled, isNinetyEight() ? kPage : 4));
    if (size >= kMaxBlock)
        return failure(QStringLiteral("data block %1 would outgrow 64 KB").arg(block));
    const quint32 spare = size - filled;
    quint32 firstFree = kNone;
    if (spare >= kRecordHeader) {
        QByteArray free(qsizetype(spare), '\0');
        put32(free.data(), spare);
        put32(free.data() + KeyRecord::id, kNone);
        put32(free.data() + KeyRecord::nextFree, kNone);
        firstFree = filled;
        body += free;
    } else if (spare > 0) { // too small to be a record: slack at the end of the one before
        put32(body.data() + last, u32(body.constData() + last) + spare);
        body += QByteArray(qsizetype(spare), '\0');
    }
    int lowest = 0;
    while (lowest < kIds && (lowest == id || recordAt(block, lowest)))
        ++lowest;

    QByteArray packed(start, kBlockHeader);
    packed += body;
    char* p = packed.data();
    put32(p + BlockHeader::size, size);
    put32(p + BlockHeader::freeBytes, spare >= kRecordHeader ? spare : 0);
    put32(p + BlockHeader::firstFree, firstFree);
    put16(p + BlockHeader::highestId, quint32(highest));
    put16(p + BlockHeader::lowestFreeId, quint32(lowest));
    fixChecksum(p, size, flags, BlockHeader::checksum);
    bytes.replace(qsizetype(where.offset), qsizetype(where.size), packed);
    return {};
}

// A new last block holding one record (id 0).
void HiveImage::appendBlock(QByteArray& bytes, QByteArray record) const
{
    const int index = int(m_blocks.size());
    put16(record.data() + KeyRecord::id, 0);
    put16(record.data() + KeyRecord::block, quint32(index));
    put32(record.data(), quint32(record.size()));
    const quint32 filled = kBlockHeader + quint32(record.size());
    const quint32 size = roundUp(filled, isNinetyEight() ? kPage : 4);
    QByteArray block(qsizetype(size), '\0');
    char* p = block.data();
    std::memcpy(p, "RGDB", 4); // NOLINT(bugprone-not-null-terminated-result): a 4-byte signature
    put32(p + BlockHeader::size, size);
    put16(p + BlockHeader::flags, 8);
    put16(p + BlockHeader::number, quint32(index));
    put16(p + BlockHeader::lowestFreeId, 1);
    std::memcpy(p + kBlockHeader, record.constData(), size_t(record.size()));
    const quint32 spare = size - filled;
    put32(p + BlockHeader::firstFree, kNone);
    if (spare >= kRecordHeader) {
        put32(p + BlockHeader::freeBytes, spare);
        put32(p + BlockHeader::firstFree, filled);
        put32(p + filled, spare);
        put32(p + filled + KeyRecord::id, kNone);
        put32(p + filled + KeyRecord::nextFree, kNone);
    } else {
        put32(p + kBlockHeader, quint32(record.size()) + spare);
    }
    bytes += block;
    put16(bytes.data() + FileHeader::blockCount, quint32(index + 1));
}

Result<QByteArray> HiveImage::withSubkey(int parent, QByteArrayView name) const
{
    if (name.isEmpty() || name.contains('\\') || name.contains('\0'))
        return failure(QStringLiteral("a key name must not be empty nor hold a backslash or a NUL"));
    if (name.size() > 255)
        return failure(QStringLiteral("a key name can have at most 255 characters"));
    QByteArray record(qsizetype(kRecordHeader), '\0');
    record += name;
    put32(record.data() + KeyRecord::used, quint32(record.size()));
    put16(record.data() + KeyRecord::nameLength, quint32(name.size()));

    // Beside its parent (or its parent's first subkey, for the root of a 98/Me file).
    const Key& up = m_keys[size_t(parent)];
    const int near = up.record ? keyBlock(parent) : up.firstChild >= 0 ? keyBlock(up.firstChild) : -1;
    QByteArray bytes = m_bytes;
    const auto placed = placeNewRecord(bytes, std::move(record), near, -1);
    if (!placed)
        return failure(placed.reason());
    if (auto linked = linkEntry(bytes, parent, name, placed->block, placed->id); !linked)
        return failure(linked.reason());
    fixHeaderChecksum(bytes);
    return bytes;
}

// Gives the new key a tree entry: the first free slot that lies clear of the tree's last 32
// bytes (a reader cannot reach an entry there), or else the first slot of a new page at the
// tree's end. It is linked after its parent's last subkey.
Result<void> HiveImage::linkEntry(QByteArray& bytes, int parent, QByteArrayView name, int block, int id) const
{
    quint32 treeSize = m_treeSize;
    const auto entryAt = [&](quint32 entry) { return bytes.data() + kTree + entry; };
    quint32 previous = kNone, slot = kNone;
    int steps = 0;
    for (quint32 at = u32(entryAt(TreeHeader::firstFree)); at != kNone;
         at = u32(entryAt(at) + TreeEntry::nextFree)) {
        if (at < kTree || at % 4 || at > treeSize - kEntrySize || u32(entryAt(at)) != kFreeEntry ||
            ++steps > int(treeSize / kEntrySize))
            return failure(
                QStringLiteral("the key tree's list of free entries is broken at %1").arg(hex(at)));
        if (u32(entryAt(at) + TreeEntry::freeRun) >= kEntrySize && at + kEntrySize <= treeSize - 32) {
            slot = at;
            break;
        }
        previous = at;
    }
    quint32 following = 0;
    if (slot != kNone) {
        const quint32 run = u32(entryAt(slot) + TreeEntry::freeRun);
        following = u32(entryAt(slot) + TreeEntry::nextFree);
        if (run - kEntrySize >= kEntrySize) { // the rest of a longer free run stays free
            char* rest = entryAt(slot + kEntrySize);
            put32(rest, kFreeEntry);
            put32(rest + TreeEntry::freeRun, run - kEntrySize);
            put32(rest + TreeEntry::nextFree, following);
            following = slot + kEntrySize;
        }
    } else {
        slot = treeSize;
        bytes.insert(qsizetype(kTree) + qsizetype(treeSize), QByteArray(kPage, '\0'));
        char* rest = entryAt(slot + kEntrySize);
        put32(rest, kFreeEntry);
        put32(rest + TreeEntry::freeRun, kPage - kEntrySize);
        put32(rest + TreeEntry::nextFree, u32(entryAt(TreeHeader::firstFree)));
        following = slot + kEntrySize;
        previous = kNone;
        treeSize += kPage;
        put32(entryAt(TreeHeader::size), treeSize);
        put32(bytes.data() + FileHeader::firstBlock, kTree + treeSize);
    }
    put32(previous == kNone ? entryAt(TreeHeader::firstFree) : entryAt(previous) + TreeEntry::nextFree,
          following);

    const Key& up = m_keys[size_t(parent)];
    char* e = entryAt(slot);
    put32(e, 0);
    put32(e + TreeEntry::hash, nameHash(name));
    put32(e + TreeEntry::nextFree, 0);
    put32(e + TreeEntry::parent, up.entry);
    put32(e + TreeEntry::firstChild, kNone);
    put32(e + TreeEntry::nextSibling, kNone);
    put16(e + TreeEntry::recordId, quint32(id));
    put16(e + TreeEntry::block, quint32(block));
    put32(up.lastChild >= 0 ? entryAt(m_keys[size_t(up.lastChild)].entry) + TreeEntry::nextSibling
                            : entryAt(up.entry) + TreeEntry::firstChild,
          slot);
    fixTreeChecksum(bytes);
    return {};
}

} // namespace velmora
