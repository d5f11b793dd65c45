#pragma once

#include "platform/HiveImage.h"
#include "support/FileFixtures.h"

#include <QByteArray>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <vector>

// Small registry files built byte by byte, the invariants a writer must keep (checked on the
// raw bytes, sharing nothing with the reader), and the keys and values as Velmora and the two
// independent readers list them.
namespace velmora::testing {

inline quint32 le32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
inline quint16 le16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
inline void set32(QByteArray& b, qsizetype at, quint32 v)
{
    qToLittleEndian<quint32>(v, b.data() + at);
}
inline void set16(QByteArray& b, qsizetype at, quint32 v)
{
    qToLittleEndian<quint16>(quint16(v), b.data() + at);
}
inline quint32 dwordSum(const QByteArray& b, qsizetype at, qsizetype length)
{
    quint32 sum = 0;
    for (qsizetype i = 0; i + 4 <= length; i += 4)
        sum += le32(b, at + i);
    return sum;
}

// The sum of the name's ASCII bytes, upper-cased; other bytes count nothing.
inline quint32 hashOf(QByteArrayView name)
{
    quint32 sum = 0;
    for (const char c : name)
        sum += uchar(c) < 0x80 ? uchar(std::toupper(uchar(c))) : 0;
    return sum;
}

// Root, "Ports" (four values: default text, text, dword, binary), "Class" and "Class\Net", in a
// two-page key tree and one data block. The Windows 95 form gives the root a record and asks
// for a checksum on the block.
inline QByteArray smallHive(bool win95 = false)
{
    struct Key {
        QByteArray name;
        int parent, firstChild, nextSibling;
        QByteArray values;
    };
    const auto value = [](quint32 type, QByteArray name, QByteArray data) {
        QByteArray v(12, '\0');
        set32(v, 0, type);
        set16(v, 8, quint32(name.size()));
        set16(v, 10, quint32(data.size()));
        return v + name + data;
    };
    const std::vector<Key> keys = {
        {QByteArray(1, '\0'), -1, 1, -1, {}},
        {"Ports", 0, -1, 2,
         value(1, "", "ports") + value(1, "COM1", "9600,n,8,1") +
             value(4, "Flags", QByteArray("\x01\0\0\0", 4)) + value(3, "Bin", QByteArray("\xE9\0\x81", 3))},
        {"Class", 0, 3, -1, {}},
        {"Net", 2, -1, -1, value(2, "Path", QByteArray("%windir%\0", 9))},
    };
    const quint32 tree = 0x2000, entries = 0x20 + 28 * quint32(keys.size());
    QByteArray records;
    for (size_t k = win95 ? 0 : 1; k < keys.size(); ++k) {
        const QByteArray& values = keys[k].values;
        quint32 count = 0;
        for (qsizetype p = 0; p < values.size(); ++count)
            p += 12 + le16(values, p + 8) + le16(values, p + 10);
        QByteArray r(20, '\0');
        set32(r, 0, quint32(20 + keys[k].name.size() + values.size()));
        set16(r, 4, quint32(k));
        set32(r, 8, le32(r, 0));
        set16(r, 12, quint32(keys[k].name.size()));
        set16(r, 14, count);
        records += r + keys[k].name + values;
    }
    const quint32 block = win95 ? (32 + quint32(records.size()) + 20 + 3) / 4 * 4 : 0x1000;
    QByteArray b(qsizetype(0x20 + tree + block), '\0');
    b.replace(0, 4, "CREG");
    set32(b, 4, 0x10000);
    set32(b, 8, 0x20 + tree);
    set16(b, 0x10, 1);
    set16(b, 0x12, win95 ? 0 : 0x20);
    set32(b, 0x14, 0x10000);
    b.replace(0x20, 4, "RGKN");
    set32(b, 0x24, tree);
    set32(b, 0x28, 0x20);
    set32(b, 0x2C, entries);
    set32(b, 0x30, win95 ? 9 : 8);
    for (size_t k = 0; k < keys.size(); ++k) {
        const qsizetype e = 0x20 + 0x20 + 28 * qsizetype(k);
        const auto link = [](int key) { return key < 0 ? 0xFFFFFFFFu : 0x20 + 28 * quint32(key); };
        set32(b, e + 4, k ? hashOf(keys[k].name) : 0);
        set32(b, e + 0xC, link(keys[k].parent));
        set32(b, e + 0x10, link(keys[k].firstChild));
        set32(b, e + 0x14, link(keys[k].nextSibling));
        set16(b, e + 0x18, k || win95 ? quint32(k) : 0xFFFF);
        set16(b, e + 0x1A, k || win95 ? 0 : 0xFFFF);
    }
    set32(b, 0x20 + entries, 0x80000000);
    set32(b, 0x20 + entries + 4, tree - entries);
    set32(b, 0x20 + entries + 8, 0xFFFFFFFF);
    const qsizetype at = 0x20 + tree, spare = block - 32 - records.size();
    b.replace(at, 4, "RGDB");
    set32(b, at + 4, block);
    set32(b, at + 8, quint32(spare));
    set16(b, at + 0xC, win95 ? 0xC : 8);
    set32(b, at + 0x10, quint32(32 + records.size()));
    set16(b, at + 0x14, quint32(keys.size() - 1));
    set16(b, at + 0x16, win95 ? quint32(keys.size()) : 0);
    b.replace(at + 32, records.size(), records);
    const qsizetype free = at + 32 + records.size();
    set32(b, free, quint32(spare));
    set32(b, free + 4, 0xFFFFFFFF);
    set32(b, free + 8, 0xFFFFFFFF);
    if (win95)
        set32(b, at + 0x1C, 0u - dwordSum(b, at, block));
    return b;
}

// What the reader does not need but a writer must keep: the key tree's grid and free list,
// hashes, the block counters and free chains, block sizes, checksums. Empty when all hold.
struct HiveShape {
    int fullestBlock = 0; // live records
    quint32 largestBlock = 0, treeSize = 0;
};
inline QString hiveFaults(const QByteArray& b, HiveShape* shape = nullptr)
{
    const auto parsed = HiveImage::parse(b);
    if (!parsed)
        return parsed.reason();
    const quint32 tree = le32(b, 0x24);
    const bool win98 = le16(b, 0x12) & 0x20;
    std::map<quint32, qsizetype> records; // block << 8 | id -> file offset
    for (qsizetype at = 0x20 + tree; at < b.size(); at += le32(b, at + 4)) {
        const quint32 size = le32(b, at + 4);
        std::set<int> ids;
        std::set<quint32> free;
        quint32 unused = 0;
        for (quint32 r = 32; r < size; r += le32(b, at + r)) {
            if (le32(b, at + r + 4) == 0xFFFFFFFF) {
                free.insert(r);
                unused += le32(b, at + r);
            } else {
                ids.insert(le16(b, at + r + 4));
                records[quint32(le16(b, at + 0xE)) << 8 | le16(b, at + r + 4)] = at + r;
            }
        }
        for (quint32 f = le32(b, at + 0x10); f != 0xFFFFFFFF; f = le32(b, at + f + 8))
            if (!free.erase(f))
                return QStringLiteral("block at %1: free chain").arg(at);
        int lowest = 0;
        while (ids.count(lowest))
            ++lowest;
        if (!free.empty() || unused != le32(b, at + 8) || lowest != le16(b, at + 0x16) ||
            (!ids.empty() && *ids.rbegin() > le16(b, at + 0x14)) || le16(b, at + 0x14) > 254 ||
            (win98 && size % 0x1000) || ((le16(b, at + 0xC) & 4) && dwordSum(b, at, size)))
            return QStringLiteral("block at %1: counters, size or checksum").arg(at);
        if (shape) {
            shape->fullestBlock = std::max(shape->fullestBlock, int(ids.size()));
            shape->largestBlock = std::max(shape->largestBlock, size);
        }
    }
    std::map<quint32, int> grid; // offset -> times covered
    for (quint32 s = 0x20; s + 28 <= tree; s += 28)
        if (s % 0x1000 + 28 > 0x1000 && s + 28 > 0x2000)
            s = (s / 0x1000 + 1) * 0x1000 - 28; // the next page starts a new grid
        else
            grid[s] = 0;
    std::vector<quint32> stack = {0x20};
    while (!stack.empty()) {
        const quint32 e = stack.back();
        stack.pop_back();
        if (!grid.count(e) || grid[e]++ || e + 28 > tree - 32)
            return QStringLiteral("key entry %1 off the grid, shared or in the tree's last 32 bytes").arg(e);
        const quint32 record = quint32(le16(b, 0x20 + e + 0x1A)) << 8 | le16(b, 0x20 + e + 0x18);
        if (e != 0x20 &&
            le32(b, 0x20 + e + 4) != hashOf(b.mid(records[record] + 20, le16(b, records[record] + 12))))
            return QStringLiteral("key entry %1 has a wrong hash").arg(e);
        for (quint32 c = le32(b, 0x20 + e + 0x10); c != 0xFFFFFFFF; c = le32(b, 0x20 + c + 0x14))
            stack.push_back(c);
    }
    for (quint32 f = le32(b, 0x2C), n = 0; f != 0xFFFFFFFF; f = le32(b, 0x20 + f + 8), ++n) {
        const quint32 run = le32(b, 0x20 + f + 4);
        if (n > tree / 28 || le32(b, 0x20 + f) != 0x80000000 ||
            (f >= 0x2000 && f / 0x1000 != (f + run - 1) / 0x1000))
            return QStringLiteral("free key entry %1 broken or crossing a page").arg(f);
        for (quint32 s = f; s + 28 <= f + run; s += 28)
            if (!grid.count(s) || grid[s]++)
                return QStringLiteral("free run %1 overlaps").arg(f);
    }
    for (const auto& [s, n] : grid)
        if (n != 1)
            return QStringLiteral("key slot %1 is neither in use nor free").arg(s);
    if ((le16(b, 0x12) & 4) && dwordSum(b, 0, 32))
        return QStringLiteral("header checksum");
    if ((le32(b, 0x30) & 4) && dwordSum(b, 0x20, tree))
        return QStringLiteral("key tree checksum");
    if (shape)
        shape->treeSize = tree;
    return {};
}

// "K path" and "V path name type data" lines, all in hex, in the file's order.
// Names as the readers give them: the bytes libcreg cannot decode become "?".
inline QByteArray readerName(QByteArrayView name)
{
    QByteArray out = name.toByteArray();
    for (char& c : out)
        if (QByteArrayView("\x81\x8D\x8F\x90\x9D").contains(c))
            c = '?';
    return out;
}
inline void dumpKey(const HiveImage& image, int key, const QByteArray& path, QByteArray& out)
{
    out += "K " + path.toHex() + '\n';
    for (const auto& v : image.values(key))
        out += "V " + path.toHex() + ' ' + readerName(v.name).toHex() + ' ' + QByteArray::number(v.type) +
               ' ' + v.data.toByteArray().toHex() + '\n';
    for (const int sub : image.subkeys(key))
        dumpKey(image, sub,
                path.isEmpty() ? readerName(image.keyName(sub))
                               : path + '\\' + readerName(image.keyName(sub)),
                out);
}
inline QByteArray dumpOf(const HiveImage& image)
{
    QByteArray out;
    dumpKey(image, HiveImage::kRootKey, {}, out);
    return out;
}

// The same list from libcreg ("python") or Parse::Win32Registry ("perl").
inline QByteArray readerDump(const QString& reader, const QString& file)
{
    const QString data = QStringLiteral(VELMORA_TEST_DATA "/");
    QProcess p;
    if (reader == QLatin1String("python"))
        p.start(QStringLiteral("/usr/bin/python3"), {data + QStringLiteral("hive-dump-libcreg.py"), file});
    else
        p.start(QStringLiteral("/usr/bin/perl"), {data + QStringLiteral("hive-dump.pl"), file});
    p.waitForFinished(120000);
    QByteArray out = p.readAllStandardOutput();
    if (!out.endsWith('\n'))
        out += '\n';
    return p.exitCode() == 0 ? out : "<" + reader.toUtf8() + " failed: " + p.readAllStandardError() + ">";
}

// How many bytes lie between the common start and the common end of two files: what an edit
// changed, moved or added.
inline qsizetype changedSpan(const QByteArray& before, const QByteArray& after)
{
    const CommonEnds same = commonEnds(before, after);
    return after.size() - same.head - same.tail;
}

// The first line where two listings differ, empty when they agree (whole listings are too long
// to show).
inline QByteArray firstDifference(const QByteArray& a, const QByteArray& b)
{
    const QList<QByteArray> x = a.split('\n'), y = b.split('\n');
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i)
        if (x.value(i) != y.value(i))
            return "line " + QByteArray::number(i + 1) + ": " + x.value(i) + " | " + y.value(i);
    return {};
}

// Velmora lists exactly the keys and values (in order, byte for byte) that libcreg and
// Parse::Win32Registry list, and every file keeps the writer's invariants.
inline void expectReadersAgree(const QString& file, const HiveImage& image)
{
    const QByteArray own = dumpOf(image);
    EXPECT_EQ(firstDifference(readerDump(QStringLiteral("python"), file), own), QByteArray());
    EXPECT_EQ(firstDifference(readerDump(QStringLiteral("perl"), file), own), QByteArray());
    EXPECT_EQ(hiveFaults(image.bytes()), QString());
}

} // namespace velmora::testing
