#pragma once

#include "creg/HiveImage.h"
#include "regedit4/RegistryFile.h"
#include "support/FileFixtures.h"
#include "support/HiveBuilder.h"

#include <QProcess>
#include <QtEndian>

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

// Registry files, the invariants a writer must keep (checked on the raw bytes, sharing nothing
// with the reader), and the keys and values as Velmora and the two independent readers list them.
namespace velmora::testing {

// A key path folded as the stores look it up.
inline QByteArray folded(QByteArrayView path)
{
    QByteArray display, fold;
    regfile::normalisePath(path, display, fold);
    return fold;
}

inline QByteArray hiveFile(const char* name)
{
    return readBytes(QStringLiteral(VELMORA_TEST_DATA "/") + QLatin1String(name));
}
// The image of bytes that must parse: an empty one, the failure recorded, when they do not.
inline HiveImage imageOf(const Result<QByteArray>& bytes)
{
    Result<HiveImage> image = bytes ? HiveImage::parse(*bytes) : failure(bytes.reason());
    if (!image)
        ADD_FAILURE() << image.reason().toStdString();
    return image ? std::move(image).value() : HiveImage();
}
// A value's type and bytes, or {0, "<missing>"}.
template <typename Keys>
std::pair<quint32, QByteArray> valueIn(const Keys& keys, int key, QByteArrayView name)
{
    std::pair<quint32, QByteArray> value;
    return keys.readValue(key, name, value.first, value.second) ? value
                                                                : std::pair(0u, QByteArray("<missing>"));
}
inline quint32 le32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
inline quint16 le16(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint16>(b.constData() + at);
}
inline quint32 dwordSum(const QByteArray& b, qsizetype at, qsizetype length)
{
    quint32 sum = 0;
    for (qsizetype i = 0; i + 4 <= length; i += 4)
        sum += le32(b, at + i);
    return sum;
}
// What the reader does not check but a writer must keep: each block's free chain, counters,
// size and checksum; text without a NUL; the key tree's grid, hashes and free list; the header
// and tree checksums.
// Empty when all hold, else the first fault. The file must parse.
inline QString hiveFaults(const QByteArray& b)
{
    constexpr quint32 kNone = 0xFFFFFFFF;
    const quint32 tree = le32(b, 0x24);
    std::map<quint32, qsizetype> records; // block << 8 | id -> file offset
    for (qsizetype at = 0x20 + tree; at < b.size(); at += le32(b, at + 4)) {
        const quint32 size = le32(b, at + 4), highest = le16(b, at + 0x14);
        std::set<quint32> ids, free;
        quint32 unused = 0, lowest = 0, f = le32(b, at + 0x10);
        for (quint32 r = 32; r < size; r += le32(b, at + r)) {
            if (le32(b, at + r + 4) == kNone) {
                free.insert(r);
                unused += le32(b, at + r);
            } else {
                ids.insert(le16(b, at + r + 4));
                records[quint32(le16(b, at + 0xE)) << 8 | le16(b, at + r + 4)] = at + r;
                qsizetype v = at + r + 20 + le16(b, at + r + 12);
                for (int n = le16(b, at + r + 14); n > 0; --n) {
                    const qsizetype end = v + 12 + le16(b, v + 8) + le16(b, v + 10);
                    if (le32(b, v) == 1 && le16(b, v + 10) > 0 && b[end - 1] == '\0')
                        return QStringLiteral("block at %1: text stored with its NUL").arg(at);
                    v = end;
                }
            }
        }
        while (f != kNone && free.erase(f))
            f = le32(b, at + f + 8);
        while (ids.count(lowest))
            ++lowest;
        if (f != kNone || !free.empty() || unused != le32(b, at + 8) || lowest != le16(b, at + 0x16) ||
            (!ids.empty() && *ids.rbegin() > highest) || highest > 254 ||
            ((le16(b, 0x12) & 0x20) && size % 0x1000) || ((le16(b, at + 0xC) & 4) && dwordSum(b, at, size)))
            return QStringLiteral("block at %1: free chain, counters, size or checksum").arg(at);
    }
    // Each slot of the grid starts at 1 and counts once for the key entry or free run on it.
    std::map<quint32, int> grid;
    for (quint32 k = 0; keySlot(k) + 28 <= tree; ++k)
        grid[keySlot(k)] = 1;
    for (std::vector<quint32> stack = {0x20}; !stack.empty();) {
        const quint32 e = stack.back();
        stack.pop_back();
        const qsizetype record = records[quint32(le16(b, 0x20 + e + 0x1A)) << 8 | le16(b, 0x20 + e + 0x18)];
        const quint32 hash = keyNameHash(b.mid(record + 20, le16(b, record + 12)));
        if (e + 28 > tree - 32 || (e != 0x20 && le32(b, 0x20 + e + 4) != hash))
            return QStringLiteral("key entry %1 too late or with a wrong hash").arg(e);
        if (++grid[e] == 2)
            for (quint32 c = le32(b, 0x20 + e + 0x10); c != kNone; c = le32(b, 0x20 + c + 0x14))
                stack.push_back(c);
    }
    for (quint32 f = le32(b, 0x2C), n = 0; f != kNone; f = le32(b, 0x20 + f + 8), ++n) {
        const quint32 run = le32(b, 0x20 + f + 4);
        if (n > tree / 28 || le32(b, 0x20 + f) != 0x80000000 ||
            (f >= 0x2000 && f / 0x1000 != (f + run - 1) / 0x1000))
            return QStringLiteral("free key entry %1 broken or crossing a page").arg(f);
        for (quint32 s = f; s + 28 <= f + run && ++grid[s] == 2;)
            s += 28; // stops at a slot off the grid or used twice, which the count below reports
    }
    for (const auto& [s, n] : grid)
        if (n != 2)
            return QStringLiteral("key slot %1 off the grid, shared, or neither in use nor free").arg(s);
    if (((le16(b, 0x12) & 4) && dwordSum(b, 0, 32)) || ((le32(b, 0x30) & 4) && dwordSum(b, 0x20, tree)))
        return QStringLiteral("header or key tree checksum");
    return {};
}

// "K path" and "V path name type data" lines, all in hex, in the file's order; names as the
// readers give them (the bytes libcreg cannot decode become "?").
inline QByteArray dumpOf(const HiveImage& image, int key = HiveImage::kRootKey, const QByteArray& path = {})
{
    const auto readerName = [](QByteArray name) {
        for (const char c : QByteArrayView("\x81\x8D\x8F\x90\x9D"))
            name.replace(c, '?');
        return name;
    };
    QByteArray out = "K " + path.toHex() + '\n';
    for (const auto& v : image.values(key))
        out += "V " + path.toHex() + ' ' + readerName(v.name.toByteArray()).toHex() + ' ' +
               QByteArray::number(v.type) + ' ' + v.data.toByteArray().toHex() + '\n';
    for (const int sub : image.subkeys(key)) {
        const QByteArray name = readerName(image.keyName(sub).toByteArray());
        out += dumpOf(image, sub, path.isEmpty() ? name : path + '\\' + name);
    }
    return out;
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
// Parse::Win32Registry list, and the file keeps the writer's invariants.
inline void expectReadersAgree(const QString& file, const HiveImage& image)
{
    const QString data = QStringLiteral(VELMORA_TEST_DATA "/");
    for (const auto& [program, script] : {std::pair{"/usr/bin/python3", "hive-dump-libcreg.py"},
                                          std::pair{"/usr/bin/perl", "hive-dump.pl"}}) {
        QProcess p;
        p.start(QString::fromLatin1(program), {data + QLatin1String(script), file});
        p.waitForFinished(120000);
        EXPECT_EQ(p.exitCode(), 0) << script << ": " << p.readAllStandardError().constData();
        // Trimmed: a listing may end without a line break.
        EXPECT_EQ(firstDifference(p.readAllStandardOutput().trimmed(), dumpOf(image).trimmed()), QByteArray())
            << script;
    }
    EXPECT_EQ(hiveFaults(image.bytes()), QString());
}

} // namespace velmora::testing
