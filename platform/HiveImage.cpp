#include "platform/HiveImage.h"

#include "platform/RegistryFile.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace velmora {
namespace {

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

quint16 u16(const char* p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char* p)
{
    return qFromLittleEndian<quint32>(p);
}
void put16(char* p, quint32 v)
{
    qToLittleEndian<quint16>(quint16(v), p);
}
void put32(char* p, quint32 v)
{
    qToLittleEndian<quint32>(v, p);
}

QString hex(quint64 v)
{
    return QStringLiteral("0x") + QString::number(v, 16).toUpper();
}

quint32 roundUp(quint32 v, quint32 step)
{
    return (v + step - 1) / step * step;
}

// A structure whose flags carry bit 4 keeps its dwords summing to 0.
void fixChecksum(char* start, quint32 length, quint32 flags, quint32 field)
{
    if (!(flags & 4))
        return;
    put32(start + field, 0);
    quint32 sum = 0;
    for (quint32 i = 0; i + 4 <= length; i += 4)
        sum += u32(start + i);
    put32(start + field, 0u - sum);
}

void fixHeaderChecksum(QByteArray& bytes)
{
    fixChecksum(bytes.data(), kTree, u16(bytes.constData() + 0x12), 0x0C);
}

void fixTreeChecksum(QByteArray& bytes)
{
    char* tree = bytes.data() + kTree;
    fixChecksum(tree, u32(tree + 4), u32(tree + 0x10), 0x14);
}

QByteArray valueBytes(quint32 type, quint32 unknown, QByteArrayView name, QByteArrayView data)
{
    QByteArray v(kValueHeader, '\0');
    put32(v.data(), type);
    put32(v.data() + 4, unknown);
    put16(v.data() + 8, quint32(name.size()));
    put16(v.data() + 10, quint32(data.size()));
    v += name;
    v += data;
    return v;
}

} // namespace

HiveImage::HiveImage()
{
    m_keys.push_back(Key{});
}

bool HiveImage::KeyName::operator==(const KeyName& o) const
{
    return parent == o.parent && regfile::namesEqual(name, o.name);
}

size_t HiveImage::KeyName::hash(size_t seed) const
{
    size_t h = seed ^ (size_t(parent) * 0x9E3779B97F4A7C15u);
    for (const char c : name)
        h = (h ^ regfile::foldByte(uchar(c))) * 0x100000001B3u;
    return h;
}

quint32 HiveImage::nameHash(QByteArrayView name)
{
    quint32 sum = 0;
    for (const char c : name) {
        const auto b = uchar(c);
        if (b < 0x80)
            sum += (b >= 'a' && b <= 'z') ? b - 0x20 : b;
    }
    return sum;
}

Result<HiveImage> HiveImage::parse(QByteArray bytes)
{
    HiveImage image;
    image.m_keys.clear();
    image.m_bytes = std::move(bytes);
    if (auto blocks = image.indexBlocks(); !blocks)
        return failure(blocks.reason());
    if (auto tree = image.indexTree(); !tree)
        return failure(tree.reason());
    return image;
}

Result<void> HiveImage::indexBlocks()
{
    const char* b = m_bytes.constData();
    const auto size = quint64(m_bytes.size());
    if (size < kTree + kBlockHeader)
        return failure(QStringLiteral("the file is too short to be a registry (%1 bytes)").arg(size));
    if (QByteArrayView(b, 4) != "CREG")
        return failure(QStringLiteral("the file has no CREG signature: it is no Windows 95/98/Me registry"));
    if (QByteArrayView(b + kTree, 4) != "RGKN")
        return failure(QStringLiteral("the key tree at 0x20 has no RGKN signature"));
    m_treeSize = u32(b + kTree + 4);
    if (m_treeSize < kPage || m_treeSize % kPage || kTree + quint64(m_treeSize) > size)
        return failure(QStringLiteral("the key tree's size %1 does not fit the file").arg(hex(m_treeSize)));
    if (u32(b + 8) != kTree + m_treeSize)
        return failure(QStringLiteral("the header places the data blocks at %1, not after the key tree")
                           .arg(hex(u32(b + 8))));
    if (u32(b + kTree + 8) != kTree)
        return failure(QStringLiteral("the key tree's root entry is not at its start"));

    for (quint64 at = kTree + m_treeSize; at < size;) {
        const int index = int(m_blocks.size());
        if (index >= u16(b + 0x10)) // checked as they come, so a crafted file cannot make the index huge
            return failure(QStringLiteral("the file holds more data blocks than the %1 its header counts")
                               .arg(u16(b + 0x10)));
        if (size - at < kBlockHeader || QByteArrayView(b + at, 4) != "RGDB")
            return failure(QStringLiteral("data block %1 at %2 has no RGDB header").arg(index).arg(hex(at)));
        const quint32 length = u32(b + at + 4);
        if (length < kBlockHeader || length >= kMaxBlock || length > size - at)
            return failure(QStringLiteral("data block %1 at %2 claims %3 bytes, more than fit")
                               .arg(index)
                               .arg(hex(at), hex(length)));
        if (u16(b + at + 0xE) != index)
            return failure(QStringLiteral("data block %1 at %2 carries the number %3")
                               .arg(index)
                               .arg(hex(at))
                               .arg(u16(b + at + 0xE)));
        m_blocks.push_back(Block{quint32(at), length});
        if (auto records = indexRecords(index); !records)
            return records;
        at += length;
    }
    if (u16(b + 0x10) != m_blocks.size())
        return failure(QStringLiteral("the header counts %1 data blocks, the file holds %2")
                           .arg(u16(b + 0x10))
                           .arg(m_blocks.size()));
    return {};
}

// The records of a block must tile it exactly and each live one must hold what its sizes say.
Result<void> HiveImage::indexRecords(int block)
{
    m_recordAt.resize(m_blocks.size() * kIds, 0);
    const char* b = m_bytes.constData();
    const quint32 end = m_blocks[size_t(block)].offset + m_blocks[size_t(block)].size;
    for (quint32 at = m_blocks[size_t(block)].offset + kBlockHeader; at < end;) {
        const char* r = b + at;
        const auto where = [&](const QString& what) {
            return failure(
                QStringLiteral("data block %1: the record at %2 %3").arg(block).arg(hex(at), what));
        };
        if (end - at < kRecordHeader)
            return where(QStringLiteral("is too short: records leave a gap"));
        const quint32 allocated = u32(r);
        if (allocated < kRecordHeader || allocated > end - at)
            return where(QStringLiteral("claims %1 bytes, more than fit").arg(hex(allocated)));
        at += allocated;
        if (u32(r + 4) == kNone)
            continue; // a free record
        m_blocks[size_t(block)].live += allocated;
        const int id = u16(r + 4);
        if (u16(r + 6) != block)
            return where(QStringLiteral("names block %1").arg(u16(r + 6)));
        if (id >= kIds)
            return where(QStringLiteral("has the id %1, out of range").arg(id));
        if (recordAt(block, id))
            return where(QStringLiteral("repeats the id %1").arg(id));
        const quint32 used = u32(r + 8);
        if (used < kRecordHeader || used > allocated)
            return where(QStringLiteral("uses %1 of its %2 bytes").arg(hex(used), hex(allocated)));
        quint64 p = kRecordHeader + u16(r + 0xC);
        int v = u16(r + 0xE);
        for (; v > 0 && p + kValueHeader <= used; --v)
            p += kValueHeader + u16(r + p + 8) + u16(r + p + 10);
        if (p != used || v > 0)
            return where(QStringLiteral("holds names and values that do not add up to its size"));
        recordAt(block, id) = quint32(r - b);
    }
    return {};
}

// Walks the tree from the root: every entry in range, in use, reached once, linked back to its
// parent, and naming a record no other key names.
Result<void> HiveImage::indexTree()
{
    const char* tree = m_bytes.constData() + kTree;
    std::vector<bool> seen(m_treeSize / 4), named(m_recordAt.size());
    size_t namedCount = 0;
    const auto visit = [&](quint32 entry, int parent) -> Result<void> {
        const auto bad = [&](const QString& what) {
            return failure(QStringLiteral("the key tree's entry at %1 %2").arg(hex(kTree + entry), what));
        };
        if (entry < kTree || entry % 4 || entry > m_treeSize - kEntrySize)
            return failure(QStringLiteral("the key tree links to %1, outside the tree").arg(hex(entry)));
        if (seen[entry / 4])
            return bad(QStringLiteral("is reached twice: the tree has a cycle or a shared entry"));
        seen[entry / 4] = true;
        const char* e = tree + entry;
        if (u32(e) != 0)
            return bad(QStringLiteral("is linked into the tree but marked free"));
        const quint32 parentEntry = parent < 0 ? kNone : m_keys[size_t(parent)].entry;
        if (u32(e + 0xC) != parentEntry)
            return bad(QStringLiteral("does not name its parent"));
        const int block = u16(e + 0x1A), id = u16(e + 0x18);
        Key key;
        key.entry = entry;
        key.parent = parent;
        QByteArrayView name;
        if (block == 0xFFFF && id == 0xFFFF) {
            if (parent >= 0)
                return bad(QStringLiteral("has no record"));
        } else {
            if (block >= int(m_blocks.size()) || id >= kIds || !recordAt(block, id))
                return bad(
                    QStringLiteral("names record %1 of block %2, which does not exist").arg(id).arg(block));
            const size_t slot = size_t(block) * kIds + size_t(id);
            if (named[slot])
                return bad(QStringLiteral("names record %1 of block %2, which another key names")
                               .arg(id)
                               .arg(block));
            named[slot] = true;
            ++namedCount;
            key.record = recordAt(block, id);
            name = QByteArrayView(m_bytes.constData() + key.record + kRecordHeader,
                                  u16(m_bytes.constData() + key.record + 0xC));
        }
        if (parent >= 0 && (name.isEmpty() || name.contains('\\')))
            return bad(QStringLiteral("has an empty name or one holding a backslash"));
        if (parent >= 0) {
            Key& up = m_keys[size_t(parent)];
            if (up.lastChild >= 0)
                m_keys[size_t(up.lastChild)].nextSibling = int(m_keys.size());
            else
                up.firstChild = int(m_keys.size());
            up.lastChild = int(m_keys.size());
            // The root is no one's child, so a slot holding it is new: the first of two equal
            // names keeps it.
            int& slot = m_index[KeyName{parent, name}];
            if (slot == kRootKey)
                slot = int(m_keys.size());
        }
        m_keys.push_back(key);
        return {};
    };

    const size_t live =
        size_t(std::count_if(m_recordAt.begin(), m_recordAt.end(), [](quint32 at) { return at; }));
    m_keys.reserve(live + 1);
    m_index.reserve(qsizetype(live));
    if (auto root = visit(kTree, -1); !root)
        return root;
    for (size_t k = 0; k < m_keys.size(); ++k) {
        for (quint32 child = u32(tree + m_keys[k].entry + 0x10); child != kNone;
             child = u32(tree + m_keys.back().entry + 0x14))
            if (auto ok = visit(child, int(k)); !ok)
                return ok;
    }
    if (live != namedCount) {
        for (size_t slot = 0; slot < m_recordAt.size(); ++slot)
            if (m_recordAt[slot] && !named[slot])
                return failure(QStringLiteral("record %1 of data block %2 belongs to no key")
                                   .arg(slot % kIds)
                                   .arg(slot / kIds));
    }
    return {};
}

int HiveImage::findKey(QByteArrayView foldedPath) const
{
    int key = kRootKey;
    if (foldedPath.isEmpty())
        return key;
    for (qsizetype from = 0;;) {
        qsizetype cut = foldedPath.indexOf('\\', from);
        if (cut < 0)
            cut = foldedPath.size();
        const auto it = m_index.constFind(KeyName{key, foldedPath.sliced(from, cut - from)});
        if (it == m_index.cend())
            return -1;
        key = it.value();
        if (cut == foldedPath.size())
            return key;
        from = cut + 1;
    }
}

// Measured first and filled from its end, so a deep key costs the length of its path.
QByteArray HiveImage::keyPath(int key) const
{
    qsizetype size = -1;
    for (int k = key; k > kRootKey; k = m_keys[size_t(k)].parent)
        size += keyName(k).size() + 1;
    QByteArray path(std::max<qsizetype>(size, 0), Qt::Uninitialized);
    qsizetype at = path.size();
    for (int k = key; k > kRootKey; k = m_keys[size_t(k)].parent) {
        const QByteArrayView name = keyName(k);
        at -= name.size();
        std::memcpy(path.data() + at, name.data(), size_t(name.size()));
        if (at > 0)
            path[--at] = '\\';
    }
    return path;
}

int HiveImage::keyBlock(int key) const
{
    const quint32 record = m_keys[size_t(key)].record;
    return record ? u16(m_bytes.constData() + record + 6) : -1;
}

QByteArrayView HiveImage::keyName(int key) const
{
    const quint32 record = m_keys[size_t(key)].record;
    if (key == kRootKey || !record)
        return {};
    return QByteArrayView(m_bytes.constData() + record + kRecordHeader,
                          u16(m_bytes.constData() + record + 0xC));
}

std::vector<int> HiveImage::subkeys(int key) const
{
    std::vector<int> keys;
    for (int k = m_keys[size_t(key)].firstChild; k >= 0; k = m_keys[size_t(k)].nextSibling)
        keys.push_back(k);
    return keys;
}

std::vector<HiveImage::Value> HiveImage::values(int key) const
{
    std::vector<Value> list;
    const quint32 record = m_keys[size_t(key)].record;
    if (!record)
        return list;
    const char* r = m_bytes.constData() + record;
    const char* v = r + kRecordHeader + u16(r + 0xC);
    for (int n = u16(r + 0xE); n > 0; --n) {
        const quint16 nameLength = u16(v + 8), dataLength = u16(v + 10);
        list.push_back(Value{QByteArrayView(v + kValueHeader, nameLength), u32(v),
                             QByteArrayView(v + kValueHeader + nameLength, dataLength)});
        v += kValueHeader + nameLength + dataLength;
    }
    return list;
}

bool HiveImage::readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const
{
    const quint32 record = m_keys[size_t(key)].record;
    if (!record)
        return false;
    const char* r = m_bytes.constData() + record;
    const char* v = r + kRecordHeader + u16(r + 0xC);
    for (int n = u16(r + 0xE); n > 0; --n) {
        const quint16 nameLength = u16(v + 8), dataLength = u16(v + 10);
        if (regfile::namesEqual(QByteArrayView(v + kValueHeader, nameLength), name)) {
            type = u32(v);
            data = QByteArray(v + kValueHeader + nameLength, dataLength);
            return true;
        }
        v += kValueHeader + nameLength + dataLength;
    }
    return false;
}

bool HiveImage::isNinetyEight() const
{
    return u16(m_bytes.constData() + 0x12) & 0x20;
}

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
    const quint32 count = u16(r + 0xE);
    QByteArray fresh(r, qsizetype(kRecordHeader + u16(r + 0xC)));
    const char* v = r + fresh.size();
    bool replaced = false;
    for (quint32 n = 0; n < count; ++n) {
        const quint16 nameLength = u16(v + 8), dataLength = u16(v + 10);
        const QByteArrayView stored(v + kValueHeader, nameLength);
        if (!replaced && regfile::namesEqual(stored, name)) {
            fresh += valueBytes(type, u32(v + 4), stored, data);
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
        put16(fresh.data() + 0xE, count + 1);
    }
    if (fresh.size() > qsizetype(largestRecord()))
        return failure(
            QStringLiteral("the key's names and values would take %1 bytes, more than the 60 KB a key "
                           "can hold")
                .arg(fresh.size()));
    put32(fresh.data() + 8, quint32(fresh.size()));
    QByteArray bytes = m_bytes;
    const int block = u16(r + 6), id = u16(r + 4);
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
    put16(entry + 0x18, quint32(moved->id));
    put16(entry + 0x1A, quint32(moved->block));
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
    put32(r + 4, kNone);
    put32(r + 8, u32(start + 0x10)); // first in the block's chain of free records
    put32(start + 0x10, at - where.offset);
    put32(start + 8, where.size - kBlockHeader - (where.live - allocated));
    int lowest = 0;
    while (lowest < kIds && lowest != id && recordAt(block, lowest))
        ++lowest;
    put16(start + 0x16, quint32(lowest));
    fixChecksum(start, where.size, u16(start + 0xC), 0x1C);
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
    put16(record.data() + 4, quint32(id));
    put16(record.data() + 6, quint32(block));
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
    const quint32 flags = u16(start + 0xC);
    if (!isNew) {
        const quint32 at = recordAt(block, id);
        const quint32 allocated = u32(bytes.constData() + at);
        if (quint32(record.size()) <= allocated) {
            put32(record.data(), allocated);
            std::memcpy(bytes.data() + at, record.constData(), size_t(record.size()));
            fixChecksum(start, where.size, flags, 0x1C);
            return {};
        }
    }
    put32(record.data(), quint32(record.size()));
    QByteArray body;
    body.reserve(qsizetype(where.size) + record.size());
    qsizetype last = 0; // the last record in body
    int highest = u16(start + 0x14);
    const quint32 end = where.offset + where.size;
    for (quint32 at = where.offset + kBlockHeader; at < end;) {
        const char* r = bytes.constData() + at;
        const quint32 allocated = u32(r);
        if (u32(r + 4) != kNone) {
            last = body.size();
            if (!isNew && u16(r + 4) == id)
                body += record;
            else
                body.append(r, allocated);
            highest = std::max<int>(highest, u16(r + 4));
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
        put32(free.data() + 4, kNone);
        put32(free.data() + 8, kNone);
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
    put32(p + 4, size);
    put32(p + 8, spare >= kRecordHeader ? spare : 0);
    put32(p + 0x10, firstFree);
    put16(p + 0x14, quint32(highest));
    put16(p + 0x16, quint32(lowest));
    fixChecksum(p, size, flags, 0x1C);
    bytes.replace(qsizetype(where.offset), qsizetype(where.size), packed);
    return {};
}

// A new last block holding one record (id 0).
void HiveImage::appendBlock(QByteArray& bytes, QByteArray record) const
{
    const int index = int(m_blocks.size());
    put16(record.data() + 4, 0);
    put16(record.data() + 6, quint32(index));
    put32(record.data(), quint32(record.size()));
    const quint32 filled = kBlockHeader + quint32(record.size());
    const quint32 size = roundUp(filled, isNinetyEight() ? kPage : 4);
    QByteArray block(qsizetype(size), '\0');
    char* p = block.data();
    std::memcpy(p, "RGDB", 4); // NOLINT(bugprone-not-null-terminated-result): a 4-byte signature
    put32(p + 4, size);
    put16(p + 0xC, 8);
    put16(p + 0xE, quint32(index));
    put16(p + 0x16, 1);
    std::memcpy(p + kBlockHeader, record.constData(), size_t(record.size()));
    const quint32 spare = size - filled;
    put32(p + 0x10, kNone);
    if (spare >= kRecordHeader) {
        put32(p + 8, spare);
        put32(p + 0x10, filled);
        put32(p + filled, spare);
        put32(p + filled + 4, kNone);
        put32(p + filled + 8, kNone);
    } else {
        put32(p + kBlockHeader, quint32(record.size()) + spare);
    }
    bytes += block;
    put16(bytes.data() + 0x10, quint32(index + 1));
}

Result<QByteArray> HiveImage::withSubkey(int parent, QByteArrayView name) const
{
    if (name.isEmpty() || name.contains('\\') || name.contains('\0'))
        return failure(QStringLiteral("a key name must not be empty nor hold a backslash or a NUL"));
    if (name.size() > 255)
        return failure(QStringLiteral("a key name can have at most 255 characters"));
    QByteArray record(qsizetype(kRecordHeader), '\0');
    record += name;
    put32(record.data() + 8, quint32(record.size()));
    put16(record.data() + 0xC, quint32(name.size()));

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
    for (quint32 at = u32(entryAt(0xC)); at != kNone; at = u32(entryAt(at) + 8)) {
        if (at < kTree || at % 4 || at > treeSize - kEntrySize || u32(entryAt(at)) != kFreeEntry ||
            ++steps > int(treeSize / kEntrySize))
            return failure(
                QStringLiteral("the key tree's list of free entries is broken at %1").arg(hex(at)));
        if (u32(entryAt(at) + 4) >= kEntrySize && at + kEntrySize <= treeSize - 32) {
            slot = at;
            break;
        }
        previous = at;
    }
    quint32 following = 0;
    if (slot != kNone) {
        const quint32 run = u32(entryAt(slot) + 4);
        following = u32(entryAt(slot) + 8);
        if (run - kEntrySize >= kEntrySize) { // the rest of a longer free run stays free
            char* rest = entryAt(slot + kEntrySize);
            put32(rest, kFreeEntry);
            put32(rest + 4, run - kEntrySize);
            put32(rest + 8, following);
            following = slot + kEntrySize;
        }
    } else {
        slot = treeSize;
        bytes.insert(qsizetype(kTree) + qsizetype(treeSize), QByteArray(kPage, '\0'));
        char* rest = entryAt(slot + kEntrySize);
        put32(rest, kFreeEntry);
        put32(rest + 4, kPage - kEntrySize);
        put32(rest + 8, u32(entryAt(0xC)));
        following = slot + kEntrySize;
        previous = kNone;
        treeSize += kPage;
        put32(entryAt(4), treeSize);
        put32(bytes.data() + 8, kTree + treeSize);
    }
    put32(previous == kNone ? entryAt(0xC) : entryAt(previous) + 8, following);

    const Key& up = m_keys[size_t(parent)];
    char* e = entryAt(slot);
    put32(e, 0);
    put32(e + 4, nameHash(name));
    put32(e + 8, 0);
    put32(e + 0xC, up.entry);
    put32(e + 0x10, kNone);
    put32(e + 0x14, kNone);
    put16(e + 0x18, quint32(id));
    put16(e + 0x1A, quint32(block));
    put32(up.lastChild >= 0 ? entryAt(m_keys[size_t(up.lastChild)].entry) + 0x14 : entryAt(up.entry) + 0x10,
          slot);
    fixTreeChecksum(bytes);
    return {};
}

} // namespace velmora
