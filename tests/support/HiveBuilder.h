#pragma once

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
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

// The file of those keys: key i has the tree entry slot(i) and, but for the root, a record.
inline QByteArray buildHive(const std::vector<BuiltKey>& keys)
{
    constexpr quint32 kNone = 0xFFFFFFFF;
    const auto n = quint32(keys.size());
    const auto put16 = [](QByteArray& b, qsizetype at, quint32 v) {
        qToLittleEndian<quint16>(quint16(v), b.data() + at);
    };
    const auto put32 = [](QByteArray& b, qsizetype at, quint32 v) {
        qToLittleEndian<quint32>(v, b.data() + at);
    };
    // Where the key tree's k-th entry lies: 291 in its first 8 KiB, then 146 at the start of each page.
    const auto slot = [](quint32 k) {
        return k < 291 ? 0x20 + 28 * k : (2 + (k - 291) / 146) * 0x1000 + 28 * ((k - 291) % 146);
    };
    const auto nameHash = [](const QByteArray& name) {
        quint32 sum = 0;
        for (const char c : name)
            sum += uchar(c) >= 0x80 ? 0 : (c >= 'a' && c <= 'z') ? uchar(c) - 0x20 : uchar(c);
        return sum;
    };

    // The key tree: the entries, then one free run from the next slot to its page's end.
    const quint32 freeAt = slot(n);
    const quint32 treeSize = freeAt < 0x2000 ? 0x2000 : (freeAt / 0x1000 + 1) * 0x1000;
    QByteArray tree(qsizetype(treeSize), '\0');
    tree.replace(0, 4, "RGKN");
    put32(tree, 4, treeSize);
    put32(tree, 8, 0x20);
    put32(tree, 0xC, freeAt);
    put32(tree, 0x10, 8);
    put32(tree, freeAt, 0x80000000);
    put32(tree, freeAt + 4, treeSize - freeAt);
    put32(tree, freeAt + 8, kNone);
    std::vector<quint32> lastChild(n, kNone);
    for (quint32 k = 0; k < n; ++k) {
        const quint32 e = slot(k);
        put32(tree, e + 4, k ? nameHash(keys[k].name) : 0);
        put32(tree, e + 0xC, k ? slot(quint32(keys[k].parent)) : kNone);
        put32(tree, e + 0x10, kNone);
        put32(tree, e + 0x14, kNone);
        put32(tree, e + 0x18, kNone); // the root has no record; the others get theirs below
        if (k) {
            const auto parent = quint32(keys[k].parent);
            put32(tree, lastChild[parent] == kNone ? slot(parent) + 0x10 : lastChild[parent] + 0x14, e);
            lastChild[parent] = e;
        }
    }

    // The data blocks: records in the keys' order, a new block at 255 records or near 60 KB.
    QByteArray blocks;
    QByteArray block;
    int blockCount = 0, ids = 0;
    qsizetype lastRecord = 0;
    const auto closeBlock = [&] {
        const auto filled = quint32(block.size());
        const quint32 size = (filled + 0xFFF) / 0x1000 * 0x1000;
        const quint32 spare = size - filled;
        put32(block, 8, spare >= 20 ? spare : 0);
        put32(block, 0x10, spare >= 20 ? filled : kNone);
        if (spare >= 20) {
            block += QByteArray(qsizetype(spare), '\0');
            put32(block, filled, spare);
            put32(block, filled + 4, kNone);
            put32(block, filled + 8, kNone);
        } else if (spare > 0) { // slack of the last record
            put32(block, lastRecord, qFromLittleEndian<quint32>(block.constData() + lastRecord) + spare);
            block += QByteArray(qsizetype(spare), '\0');
        }
        put32(block, 4, size);
        put16(block, 0x14, quint32(ids - 1));
        put16(block, 0x16, quint32(ids));
        blocks += block;
        block.clear();
        ++blockCount;
        ids = 0;
    };
    for (quint32 k = 1; k < n; ++k) {
        QByteArray record(20, '\0');
        record += keys[k].name;
        for (const BuiltValue& v : keys[k].values) {
            QByteArray header(12, '\0');
            put32(header, 0, v.type);
            put16(header, 8, quint32(v.name.size()));
            put16(header, 10, quint32(v.data.size()));
            record += header + v.name + v.data;
        }
        if (!block.isEmpty() && (ids == 255 || block.size() + record.size() > 0xF000))
            closeBlock();
        if (block.isEmpty()) {
            block = QByteArray(32, '\0');
            block.replace(0, 4, "RGDB");
            put16(block, 0xC, 8);
            put16(block, 0xE, quint32(blockCount));
        }
        put32(record, 0, quint32(record.size()));
        put16(record, 4, quint32(ids));
        put16(record, 6, quint32(blockCount));
        put32(record, 8, quint32(record.size()));
        put16(record, 0xC, quint32(keys[k].name.size()));
        put16(record, 0xE, quint32(keys[k].values.size()));
        put16(tree, slot(k) + 0x18, quint32(ids));
        put16(tree, slot(k) + 0x1A, quint32(blockCount));
        lastRecord = block.size();
        block += record;
        ++ids;
    }
    if (!block.isEmpty())
        closeBlock();

    QByteArray file(32, '\0');
    file.replace(0, 4, "CREG");
    put32(file, 4, 0x00010000);
    put32(file, 8, 0x20 + treeSize);
    put16(file, 0x10, quint32(blockCount));
    put16(file, 0x12, 0x20);
    put32(file, 0x14, 0x00010000);
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
