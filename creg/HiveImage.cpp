#include "creg/HiveImage.h"

#include "creg/HiveLayout.h"
#include "regedit4/RegistryFile.h"

#include <algorithm>
#include <cstring>

namespace velmora {

using namespace hive;

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
    m_treeSize = u32(b + kTree + TreeHeader::size);
    if (m_treeSize < kPage || m_treeSize % kPage || kTree + quint64(m_treeSize) > size)
        return failure(QStringLiteral("the key tree's size %1 does not fit the file").arg(hex(m_treeSize)));
    if (u32(b + FileHeader::firstBlock) != kTree + m_treeSize)
        return failure(QStringLiteral("the header places the data blocks at %1, not after the key tree")
                           .arg(hex(u32(b + FileHeader::firstBlock))));
    if (u32(b + kTree + TreeHeader::rootEntry) != kTree)
        return failure(QStringLiteral("the key tree's root entry is not at its start"));

    for (quint64 at = kTree + m_treeSize; at < size;) {
        const int index = int(m_blocks.size());
        // Checked as they come, so a crafted file cannot make the index huge.
        if (index >= u16(b + FileHeader::blockCount))
            return failure(QStringLiteral("the file holds more data blocks than the %1 its header counts")
                               .arg(u16(b + FileHeader::blockCount)));
        if (size - at < kBlockHeader || QByteArrayView(b + at, 4) != "RGDB")
            return failure(QStringLiteral("data block %1 at %2 has no RGDB header").arg(index).arg(hex(at)));
        const quint32 length = u32(b + at + BlockHeader::size);
        if (length < kBlockHeader || length >= kMaxBlock || length > size - at)
            return failure(QStringLiteral("data block %1 at %2 claims %3 bytes, more than fit")
                               .arg(index)
                               .arg(hex(at), hex(length)));
        if (u16(b + at + BlockHeader::number) != index)
            return failure(QStringLiteral("data block %1 at %2 carries the number %3")
                               .arg(index)
                               .arg(hex(at))
                               .arg(u16(b + at + BlockHeader::number)));
        m_blocks.push_back(Block{quint32(at), length});
        if (auto records = indexRecords(index); !records)
            return records;
        at += length;
    }
    if (u16(b + FileHeader::blockCount) != m_blocks.size())
        return failure(QStringLiteral("the header counts %1 data blocks, the file holds %2")
                           .arg(u16(b + FileHeader::blockCount))
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
        if (u32(r + KeyRecord::id) == kNone)
            continue; // a free record
        m_blocks[size_t(block)].live += allocated;
        const int id = u16(r + KeyRecord::id);
        if (u16(r + KeyRecord::block) != block)
            return where(QStringLiteral("names block %1").arg(u16(r + KeyRecord::block)));
        if (id >= kIds)
            return where(QStringLiteral("has the id %1, out of range").arg(id));
        if (recordAt(block, id))
            return where(QStringLiteral("repeats the id %1").arg(id));
        const quint32 used = u32(r + KeyRecord::used);
        if (used < kRecordHeader || used > allocated)
            return where(QStringLiteral("uses %1 of its %2 bytes").arg(hex(used), hex(allocated)));
        quint64 p = kRecordHeader + u16(r + KeyRecord::nameLength);
        int v = u16(r + KeyRecord::valueCount);
        for (; v > 0 && p + kValueHeader <= used; --v)
            p += kValueHeader + u16(r + p + ValueHeader::nameLength) + u16(r + p + ValueHeader::dataLength);
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
        if (u32(e + TreeEntry::parent) != parentEntry)
            return bad(QStringLiteral("does not name its parent"));
        const int block = u16(e + TreeEntry::block), id = u16(e + TreeEntry::recordId);
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
                                  u16(m_bytes.constData() + key.record + KeyRecord::nameLength));
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
        for (quint32 child = u32(tree + m_keys[k].entry + TreeEntry::firstChild); child != kNone;
             child = u32(tree + m_keys.back().entry + TreeEntry::nextSibling))
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
    return record ? u16(m_bytes.constData() + record + KeyRecord::block) : -1;
}

QByteArrayView HiveImage::keyName(int key) const
{
    const quint32 record = m_keys[size_t(key)].record;
    if (key == kRootKey || !record)
        return {};
    return QByteArrayView(m_bytes.constData() + record + kRecordHeader,
                          u16(m_bytes.constData() + record + KeyRecord::nameLength));
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
    const char* v = r + kRecordHeader + u16(r + KeyRecord::nameLength);
    for (int n = u16(r + KeyRecord::valueCount); n > 0; --n) {
        const quint16 nameLength = u16(v + ValueHeader::nameLength),
                      dataLength = u16(v + ValueHeader::dataLength);
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
    const char* v = r + kRecordHeader + u16(r + KeyRecord::nameLength);
    for (int n = u16(r + KeyRecord::valueCount); n > 0; --n) {
        const quint16 nameLength = u16(v + ValueHeader::nameLength),
                      dataLength = u16(v + ValueHeader::dataLength);
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
    return u16(m_bytes.constData() + FileHeader::flags) & 0x20;
}

} // namespace velmora
