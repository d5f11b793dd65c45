#pragma once

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <initializer_list>
#include <vector>

// Windows 98/Me registry files built from a list of keys, laid out as Windows lays them out (the
// key tree's grid and free run, data blocks of at most 255 records padded to 4 KiB), for shapes
// no real file has at hand: a chain of keys tens of thousands deep, say. Shared by the tests and
// the benchmarks, so it needs nothing but Qt.
namespace velmora::testing {

struct BuiltValue {
    QByteArray name;
    quint32 type;
    QByteArray data;
};
struct BuiltKey {
    int parent; // an earlier key of the list; the list starts with the root, whose fields count not
    QByteArray name;
    std::vector<BuiltValue> values;
};

// Where the key tree's k-th entry lies: 291 in its first 8 KiB, then 146 at the start of each page.
inline quint32 keySlot(quint32 k)
{
    return k < 291 ? 0x20 + 28 * k : (2 + (k - 291) / 146) * 0x1000 + 28 * ((k - 291) % 146);
}

// A key's hash: the sum of its name's ASCII bytes, upper-cased; other bytes count nothing.
inline quint32 keyNameHash(QByteArrayView name)
{
    quint32 sum = 0;
    for (const char c : name)
        sum += uchar(c) >= 0x80 ? 0 : (c >= 'a' && c <= 'z') ? uchar(c) - 0x20 : uchar(c);
    return sum;
}

// The file of those keys: key i has the tree entry keySlot(i) and, but for the root, a record.
inline QByteArray buildHive(const std::vector<BuiltKey>& keys)
{
    constexpr quint32 kNone = 0xFFFFFFFF;
    const auto n = quint32(keys.size());
    // Little-endian fields of 4 bytes (put32) or 2 (put16), given as offset, value, offset, value...
    using Fields = std::initializer_list<qint64>;
    const auto put32 = [](QByteArray& b, Fields fields) {
        for (auto f = fields.begin(); f != fields.end(); f += 2)
            qToLittleEndian<quint32>(quint32(f[1]), b.data() + f[0]);
    };
    const auto put16 = [](QByteArray& b, Fields fields) {
        for (auto f = fields.begin(); f != fields.end(); f += 2)
            qToLittleEndian<quint16>(quint16(f[1]), b.data() + f[0]);
    };

    // The key tree: the entries, then one free run from the next slot to its page's end.
    const quint32 freeAt = keySlot(n);
    const quint32 treeSize = freeAt < 0x2000 ? 0x2000 : (freeAt / 0x1000 + 1) * 0x1000;
    QByteArray tree = "RGKN" + QByteArray(qsizetype(treeSize) - 4, '\0');
    put32(tree, {4, treeSize, 8, 0x20, 0xC, freeAt, 0x10, 8, freeAt, 0x80000000, freeAt + 4,
                 treeSize - freeAt, freeAt + 8, kNone});
    std::vector<quint32> lastChild(n, kNone);
    for (quint32 k = 0; k < n; ++k) {
        const quint32 e = keySlot(k), parent = quint32(keys[k].parent);
        // The root has no record; the others get theirs below.
        put32(tree, {e + 4, k ? keyNameHash(keys[k].name) : 0, e + 0xC, k ? keySlot(parent) : kNone, e + 0x10,
                     kNone, e + 0x14, kNone, e + 0x18, kNone});
        if (k) {
            put32(tree, {lastChild[parent] == kNone ? keySlot(parent) + 0x10 : lastChild[parent] + 0x14, e});
            lastChild[parent] = e;
        }
    }

    // The data blocks: records in the keys' order, a new block at 255 records or near 60 KB.
    QByteArray blocks, block;
    quint32 blockCount = 0, ids = 0;
    const auto closeBlock = [&] { // the block's end is one free record
        const auto filled = quint32(block.size());
        const quint32 size = (filled + 20 + 0xFFF) / 0x1000 * 0x1000;
        block += QByteArray(qsizetype(size - filled), '\0');
        put32(block, {4, size, 8, size - filled, 0x10, filled, filled, size - filled, filled + 4, kNone,
                      filled + 8, kNone});
        put16(block, {0x14, ids - 1, 0x16, ids});
        blocks += block;
        block.clear();
        ++blockCount;
        ids = 0;
    };
    for (quint32 k = 1; k < n; ++k) {
        QByteArray record = QByteArray(20, '\0') + keys[k].name;
        for (const BuiltValue& v : keys[k].values) {
            QByteArray header(12, '\0');
            put32(header, {0, v.type});
            put16(header, {8, quint32(v.name.size()), 10, quint32(v.data.size())});
            record += header + v.name + v.data;
        }
        if (!block.isEmpty() && (ids == 255 || block.size() + record.size() + 20 > 0xF000))
            closeBlock();
        if (block.isEmpty()) {
            block = "RGDB" + QByteArray(28, '\0');
            put16(block, {0xC, 8, 0xE, blockCount});
        }
        put32(record, {0, quint32(record.size()), 8, quint32(record.size())});
        put16(record, {4, ids, 6, blockCount, 0xC, quint32(keys[k].name.size()), 0xE,
                       quint32(keys[k].values.size())});
        put16(tree, {keySlot(k) + 0x18, ids, keySlot(k) + 0x1A, blockCount});
        block += record;
        ++ids;
    }
    if (!block.isEmpty())
        closeBlock();

    QByteArray file = "CREG" + QByteArray(28, '\0');
    put32(file, {4, 0x00010000, 8, 0x20 + treeSize, 0x14, 0x00010000});
    put16(file, {0x10, blockCount, 0x12, 0x20});
    return file + tree + blocks;
}

// A chain of keys "K1\K2\...", each the only subkey of the one before; the deepest holds the
// value "Depth", its level as text. About 50 bytes a level.
inline std::vector<BuiltKey> keyChain(int levels)
{
    std::vector<BuiltKey> keys(size_t(levels) + 1);
    for (int k = 1; k <= levels; ++k)
        keys[size_t(k)] = BuiltKey{k - 1, "K" + QByteArray::number(k), {}};
    keys.back().values.push_back(BuiltValue{"Depth", 1, QByteArray::number(levels)});
    return keys;
}

// The path of the chain's deepest key, and its case-folded form.
inline QByteArray keyChainPath(int levels, bool folded = false)
{
    QByteArray path;
    for (int k = 1; k <= levels; ++k)
        path += (k > 1 ? "\\" : "") + QByteArray(folded ? "k" : "K") + QByteArray::number(k);
    return path;
}

} // namespace velmora::testing
