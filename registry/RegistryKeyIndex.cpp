#include "registry/RegistryKeyIndex.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace velmora {

namespace {

// The length of the part both begin with, eight bytes at a time.
qsizetype commonPrefix(QByteArrayView a, QByteArrayView b)
{
    const qsizetype n = std::min(a.size(), b.size());
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y)
            return i + std::countr_zero(x ^ y) / 8;
    }
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// Copies bytes into out, keeping its buffer when it is large enough.
void copyInto(QByteArray& out, QByteArrayView bytes)
{
    out.resize(bytes.size());
    if (!bytes.isEmpty())
        std::memcpy(out.data(), bytes.data(), size_t(bytes.size()));
}

} // namespace

void RegistryKeyIndex::clear()
{
    m_index.clear();
    m_keys.clear();
    m_names.clear();
    m_keys.push_back(Key{});
    m_trail.clear();
    m_trailPath.clear();
    m_foundKey = -1;
}

void RegistryKeyIndex::reserve(size_t keys)
{
    m_keys.reserve(keys);
    m_index.reserve(qsizetype(m_keys.capacity()));
}

int RegistryKeyIndex::find(QByteArrayView foldedPath) const
{
    // Keys only come and go all together (a reload), so a path found stays found.
    if (m_foundKey >= 0 && foldedPath == QByteArrayView(m_foundPath))
        return m_foundKey;
    qsizetype matched = 0;
    const int key = deepest(foldedPath, matched);
    if (matched != foldedPath.size())
        return -1;
    copyInto(m_foundPath, foldedPath);
    m_foundKey = key;
    return key;
}

int RegistryKeyIndex::deepest(QByteArrayView foldedPath, qsizetype& matched) const
{
    int key = kRoot;
    matched = 0;
    for (qsizetype from = 0; from < foldedPath.size();) {
        qsizetype cut = foldedPath.indexOf('\\', from);
        if (cut < 0)
            cut = foldedPath.size();
        const auto it = m_index.constFind(KeyName{key, foldedPath.sliced(from, cut - from)});
        if (it == m_index.cend())
            break;
        key = it.value();
        matched = cut;
        from = cut + 1;
    }
    return key;
}

QByteArray RegistryKeyIndex::path(int key) const
{
    qsizetype size = -1;
    for (int k = key; k != kRoot; k = m_keys[size_t(k)].parent)
        size += m_keys[size_t(k)].name.size() + 1;
    QByteArray path(std::max<qsizetype>(size, 0), Qt::Uninitialized);
    qsizetype at = path.size();
    for (int k = key; k != kRoot; k = m_keys[size_t(k)].parent) {
        const QByteArrayView name = m_keys[size_t(k)].name;
        at -= name.size();
        std::memcpy(path.data() + at, name.data(), size_t(name.size()));
        if (at > 0)
            path[--at] = '\\';
    }
    return path;
}

bool RegistryKeyIndex::liesWithin(int key, int ancestor) const
{
    if (ancestor == kRoot)
        return true;
    for (int k = m_keys[size_t(key)].parent; k >= 0; k = m_keys[size_t(k)].parent)
        if (k == ancestor)
            return true;
    return false;
}

// The key of a normalised path, added with every missing key above it. display is the path as
// spelled, at the same offsets as folded. Files list subkeys after their key, so a block's path
// mostly repeats all but the last name of the one before: the keys along that path are kept, and
// only the names after the part both share are looked up.
int RegistryKeyIndex::ensure(QByteArrayView display, QByteArrayView folded)
{
    const qsizetype common = commonPrefix(folded, m_trailPath);
    size_t shared = 0;
    while (shared < m_trail.size() && m_trail[shared].end <= common &&
           (m_trail[shared].end == folded.size() || folded[m_trail[shared].end] == '\\'))
        ++shared;
    m_trail.resize(shared);
    int key = shared ? m_trail.back().key : kRoot;
    for (qsizetype from = shared ? m_trail.back().end + 1 : 0; from < folded.size();) {
        qsizetype cut = folded.indexOf('\\', from);
        if (cut < 0)
            cut = folded.size();
        // One look-up finds the key or makes its slot. The root is no one's child, so a slot
        // that holds it is new; the name kept for it goes back when the key was there already.
        const QByteArrayView name = m_names.keep(folded.sliced(from, cut - from));
        int& slot = m_index[KeyName{key, name}];
        if (slot != kRoot) {
            m_names.giveBack(name);
            key = slot;
        } else {
            slot = int(m_keys.size());
            m_keys.push_back(Key{m_names.keep(display.sliced(from, cut - from)), key, -1});
            key = slot;
        }
        m_trail.push_back(TrailStep{quint32(cut), key});
        from = cut + 1;
    }
    copyInto(m_trailPath, folded);
    return key;
}

void RegistryKeyIndex::indexBlock(regfile::Block& block, QByteArrayView text)
{
    if (!block.localMachine)
        return;
    const QByteArrayView path = block.localPath(text);
    if (const auto display = regfile::foldPath(path, m_folded)) {
        block.key = ensure(*display, m_folded);
    } else {
        regfile::normalisePath(path, m_display, m_folded);
        block.key = ensure(m_display, m_folded);
    }
}

void RegistryKeyIndex::relink(std::vector<regfile::Block>& blocks)
{
    for (Key& key : m_keys)
        key.lastBlock = -1;
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (blocks[i].key < 0)
            continue;
        Key& key = m_keys[size_t(blocks[i].key)];
        blocks[i].previousOfKey = key.lastBlock;
        key.lastBlock = int(i);
    }
}

qsizetype RegistryKeyIndex::memoryUsage() const
{
    qsizetype bytes = m_names.bytesHeld() + qsizetype(m_keys.capacity() * sizeof(Key));
    // QHash keeps a node (key and value) per entry in spans of 128 slots with a byte each.
    bytes += m_index.capacity() * qsizetype(sizeof(KeyName) + sizeof(int) + 4 + 1);
    bytes += m_trailPath.capacity() + qsizetype(m_trail.capacity() * sizeof(TrailStep));
    return bytes;
}

} // namespace velmora
