#include "creg/HiveImage.h"
#include "regedit4/RegistryFile.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <random>
#include <set>

#include <sys/resource.h>

namespace velmora {
namespace {

namespace t = velmora::testing;

using t::folded;

long peakRssBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss * 1024L;
}

// A key is found by its parent and its own name, whatever its depth: memory follows the file's
// size (a 20,000-level chain cost 463 MB when every key kept its whole path). Every key found
// takes a subkey, read back at once.
TEST(HiveImage, KeysAreFoundByParentAndNameAtAnyDepth)
{
    constexpr int kLevels = 20000;
    const QByteArray small = t::buildHive({{},
                                           {0, "Ports", {{"Depth", 1, "first"}}},
                                           {1, "Caf\xC9", {{"Depth", 1, "first"}}},
                                           {0, "PORTS", {{"Depth", 1, "second"}}}});
    const QByteArray deep = t::buildHive(t::keyChain(kLevels)), levels = QByteArray::number(kLevels);
    // File, folded path, as what it is found (null: not found) and its value "Depth".
    const std::tuple<const char*, const QByteArray*, QByteArray, QByteArray, QByteArray> cases[] = {
        {"CaseFoldedInWindows1252", &small, "ports\\caf\xE9", "Ports\\Caf\xC9", "first"},
        {"FirstOfTwoEqualNamesAsWindowsFindsIt", &small, "ports", "Ports", "first"},
        {"Root", &small, "", "", "<missing>"},
        {"MissingLeaf", &small, "ports\\other", {}, {}},
        {"ChainOfTwentyThousandLevels", &deep, t::keyChainPath(kLevels, true), t::keyChainPath(kLevels),
         levels}};
    for (const auto& [label, file, path, spelled, depth] : cases) {
        SCOPED_TRACE(label);
        const long before = peakRssBytes();
        const HiveImage image = t::imageOf(*file);
        const int key = image.findKey(path);
        ASSERT_EQ(key >= 0, !spelled.isNull());
        if (spelled.isNull())
            continue;
        EXPECT_EQ(image.keyPath(key), spelled);
        EXPECT_EQ(t::valueIn(image, key, "depth").second, depth);
        const HiveImage grown = t::imageOf(image.withSubkey(key, "New"));
        EXPECT_EQ(grown.keyPath(grown.findKey(path.isEmpty() ? "new" : path + "\\new")),
                  spelled.isEmpty() ? "New" : spelled + "\\New");
        EXPECT_LT(peakRssBytes() - before, 64L << 20) << "a few copies of the file, not hundreds of MB";
    }
}

// The parts of a file an edit changed, beyond those it may change: the key's old and new data
// blocks, its tree entry (with the tree's checksum) and, for a new block, the header's count and
// checksum. Empty when nothing else changed.
QString changedElsewhere(const QByteArray& before, const QByteArray& after, std::set<int> blocks)
{
    // In the header only the block count and checksum (0xC to 0x12), in the key tree its checksum
    // (0x34) and one entry.
    const quint32 tree = t::le32(before, 0x24);
    qsizetype first = -1, last = -1;
    for (qsizetype i = 0; i < 0x20 + qsizetype(tree); ++i)
        if (before[i] != after[i] && (i < 0xC || i >= 0x12) && (i < 0x34 || i >= 0x38))
            last = i, first = first < 0 ? i : first;
    if (tree != t::le32(after, 0x24) || (first >= 0 && first < 0x20) || last - first >= 28)
        return QStringLiteral("the header, or the key tree from %1 to %2").arg(first).arg(last);
    qsizetype a = 0x20 + tree, b = a;
    for (int block = 0; a < before.size(); ++block) {
        const quint32 size = t::le32(before, a + 4), afterSize = t::le32(after, b + 4);
        if (!blocks.count(block) && (size != afterSize || before.mid(a, size) != after.mid(b, afterSize)))
            return QStringLiteral("data block %1").arg(block);
        a += size, b += afterSize;
    }
    return after.size() - b == 0 || blocks.count(t::le16(before, 0x10)) ? QString()
                                                                        : QStringLiteral("a new block");
}

// The image with the binary value `name` of `size` bytes set in the key, read back.
HiveImage withBinary(const HiveImage& image, const QByteArray& key, char name, int size)
{
    return t::imageOf(image.withValue(image.findKey(key), QByteArray(1, name), 3, QByteArray(size, name)));
}

// SMALL95.DAT as a Windows 95 file that keeps the checksums of its header and key tree (flag 4):
// each edit must keep them right.
QByteArray sealed(QByteArray b)
{
    for (const auto& [flags, checksum, start, length] :
         {std::tuple<qsizetype, qsizetype, qsizetype, qsizetype>{0x12, 0x0C, 0, 32},
          {0x30, 0x34, 0x20, t::le32(b, 0x24)}}) {
        b[flags] = char(b[flags] | 4);
        qToLittleEndian<quint32>(0, b.data() + checksum);
        qToLittleEndian<quint32>(0u - t::dwordSum(b, start, length), b.data() + checksum);
    }
    return b;
}

// A new key's record goes into its parent's block while that has room, the first block too:
// here a file of two blocks, Ports in the first (filled to near its end) and Class moved to the
// second by a value the first could not take.
TEST(HiveImage, ANewKeyGoesBesideItsParent)
{
    HiveImage image = t::imageOf(t::hiveFile("SMALL98.DAT"));
    for (const char fill : {'a', 'b', 'c'})
        image = withBinary(image, "ports", fill, 16000);
    image = withBinary(image, "class", 'd', 16000);
    for (const auto& [parent, block] : {std::pair<QByteArray, int>{"ports", 0}, {"class", 1}}) {
        SCOPED_TRACE(parent.constData());
        ASSERT_EQ(image.keyBlock(image.findKey(parent)), block);
        const HiveImage grown = t::imageOf(image.withSubkey(image.findKey(parent), "Velmora"));
        EXPECT_EQ(grown.keyBlock(grown.findKey(parent + "\\velmora")), block);
    }
    // A name Windows could not keep is refused: 255 characters are the most a key name takes.
    const int ports = image.findKey("ports");
    for (const QByteArray& name :
         {QByteArray(), QByteArray("a\\b"), QByteArray("a\0b", 3), QByteArray(256, 'k')})
        EXPECT_FALSE(image.withSubkey(ports, name).ok()) << name.size();
    EXPECT_TRUE(image.withSubkey(ports, QByteArray(255, 'k')).ok());
    const HiveImage win95 = t::imageOf(sealed(t::hiveFile("SMALL95.DAT")));
    EXPECT_EQ(t::hiveFaults(t::imageOf(win95.withSubkey(win95.findKey("class"), "Velmora")).bytes()),
              QString());
}

// A key whose block cannot grow below 64 KB still takes new and longer values: its record moves
// to the last block with room, or to a new one, and its tree entry follows. The real Windows Me
// file has two such blocks of 255 keys (a key's value was refused there, 201 of 640 times).
TEST(HiveImage, RecordsOfAFullBlockMoveToABlockWithRoom)
{
    // File, the values of 16,000 bytes set first (a, b and c in Ports, d in Class\Net), the keys
    // edited (by path, or all of some blocks), the size of the value each takes, and whether a new
    // block is needed. SMALL95.DAT keeps the checksums of its header and key tree.
    const std::tuple<const char*, const char*, QByteArray, std::vector<QByteArray>, std::set<int>, int, bool>
        cases[] = {{"EveryKeyOfTheFullMeBlocks", "SYSTEM.DAT", "", {}, {12, 13}, 40, false},
                   // The second key goes to the block the first one opened.
                   {"NoOtherBlockHasRoom", "SMALL98.DAT", "abc", {"class", "class\\net"}, {}, 16000, true},
                   {"NoOtherBlockHasRoomWin95Checksums", "SMALL95.DAT", "abcd", {"class"}, {}, 16000, true}};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SYSTEM.DAT"));
    for (const auto& [label, name, fills, paths, ofBlocks, size, newBlock] : cases) {
        SCOPED_TRACE(label);
        const QByteArray file = t::hiveFile(name);
        HiveImage image = t::imageOf(QByteArrayView(name) == "SMALL95.DAT" ? sealed(file) : file);
        for (const char fill : fills)
            image = withBinary(image, fill == 'd' ? "class\\net" : "ports", fill, 16000);
        const QByteArray original = t::dumpOf(image);
        std::vector<QByteArray> keys = paths;
        for (int k = 1; k < image.keyCount(); ++k)
            if (ofBlocks.count(image.keyBlock(k)))
                keys.push_back(folded(image.keyPath(k)));
        const int blocks = t::le16(image.bytes(), 0x10);
        int moved = 0, edits = 0;
        const QByteArray data(size, 'v');
        for (const QByteArray& key : keys) {
            SCOPED_TRACE(key.constData());
            const int from = image.keyBlock(image.findKey(key));
            HiveImage next = t::imageOf(image.withValue(image.findKey(key), "Velmora", 1, data));
            ASSERT_FALSE(HasFailure());
            const int to = next.keyBlock(next.findKey(key));
            moved += from != to;
            EXPECT_EQ(changedElsewhere(image.bytes(), next.bytes(), {from, to}), QString());
            image = std::move(next);
            // The whole check is slow on the large file: now and then.
            ASSERT_EQ(++edits % 64 ? QString() : t::hiveFaults(image.bytes()), QString());
        }
        EXPECT_GT(moved, 0);
        EXPECT_EQ(t::le16(image.bytes(), 0x10) > blocks, newBlock);
        // Nothing but the new values came or went.
        QByteArray without;
        for (const QByteArray& line : t::dumpOf(image).split('\n'))
            if (!line.startsWith("V ") || line.split(' ').value(2) != QByteArray("Velmora").toHex())
                without += line + '\n';
        EXPECT_EQ(t::firstDifference(without.chopped(1), original), QByteArray());
        ASSERT_TRUE(t::writeBytes(path, image.bytes()));
        t::expectReadersAgree(path, image);
    }
}

// Windows keeps text (REG_SZ) without its terminator; a caller that counts it in the size
// (RegSetValueExA(REG_SZ, "abc\0", 4)) must not store it. Other types keep every byte: the
// expandable text of a Windows Me file ends with its NUL. On either form: the 95 one keeps a
// block checksum, here updated for a change in place. A key's record may take 60 KB, and no more
// than a block below 64 KB holds: a 98/Me block is a multiple of 4 KiB, so there 61,408 bytes (a
// block of 0xF000 less its header).
TEST(HiveImage, ValuesAreStoredAsWindowsStoresThem)
{
    // The record of Class with three values of 16,300 bytes, and the header and name of a fourth.
    constexpr int kUsed = 20 + 5 + 3 * (12 + 1 + 16300) + 12 + 1;
    const auto recordOf = [](int size) { return QByteArray(size - kUsed, 'd'); };
    const std::vector<const char*> both = {"SMALL98.DAT", "SMALL95.DAT"}, win98 = {"SMALL98.DAT"},
                                   win95 = {"SMALL95.DAT"};
    // Files, key (Class takes three values of 16,300 bytes first), value name, type, data given and
    // data stored (null: refused as passing 60 KB).
    const std::tuple<const char*, std::vector<const char*>, QByteArray, QByteArray, quint32, QByteArray,
                     QByteArray>
        cases[] = {{"ExistingTextWithItsNul", both, "ports", "COM1", 1, QByteArray("2400,n,8,1\0", 11),
                    "2400,n,8,1"},
                   {"NewTextWithItsNul", both, "ports", "New", 1, QByteArray("abc\0", 4), "abc"},
                   {"TextOfANulAlone", both, "ports", "", 1, QByteArray("\0", 1), ""},
                   {"TextWithoutNul", both, "ports", "New", 1, "abc", "abc"},
                   {"ExpandableTextKeepsItsNul", both, "ports", "Path", 2, QByteArray("%windir%\0", 9),
                    QByteArray("%windir%\0", 9)},
                   {"Win98LargestRecord", win98, "class", "d", 3, recordOf(61408), recordOf(61408)},
                   {"Win98OneByteMore", win98, "class", "d", 3, recordOf(61409), {}},
                   {"Win95SixtyKB", win95, "class", "d", 3, recordOf(61440), recordOf(61440)},
                   {"Win95OneByteMore", win95, "class", "d", 3, recordOf(61441), {}}};
    for (const auto& [label, files, key, name, type, given, stored] : cases) {
        for (const char* file : files) {
            SCOPED_TRACE(std::string(label) + " in " + file);
            HiveImage image = t::imageOf(t::hiveFile(file));
            for (const char fill : QByteArray(key == "class" ? "abc" : ""))
                image = withBinary(image, "class", fill, 16300);
            const auto changed = image.withValue(image.findKey(key), name, type, given);
            EXPECT_TRUE(stored.isNull() ? changed.reason().contains(QLatin1String("60 KB")) : changed.ok())
                << changed.reason().toStdString();
            if (stored.isNull())
                continue;
            const HiveImage next = t::imageOf(changed);
            EXPECT_EQ(t::valueIn(next, next.findKey(key), name), std::pair(type, stored));
            EXPECT_EQ(t::hiveFaults(next.bytes()), QString());
        }
    }
}

// Places in SMALL98.DAT: its one data block, and in it the records of Ports (107 bytes), Class
// (no values) and the free space up to the block's end; the tree entry of Class\Net.
constexpr qsizetype kBlock = 0x2020, kPortsRecord = kBlock + 32, kClassRecord = 0x20AB, kFreeRecord = 0x20F4,
                    kBlockEnd = 0x3020, kNetEntry = 0x20 + 0x20 + 3 * 28;

// Damage is refused with its reason, one row per check of the reader. Odd but sound files (no
// reason) are read, and an edit changes only the record it must.
TEST(HiveImage, DamageIsRefusedAndOddButSoundFilesAreEdited)
{
    // Pokes (offset, width in bytes, value), and words of the reason.
    const std::tuple<const char*, std::vector<std::tuple<qsizetype, int, quint32>>, const char*> cases[] = {
        {"WrongSignature", {{0, 1, 'X'}}, "no CREG signature"},
        {"BlocksPastTheEnd", {{8, 4, 0x9000}}, "not after the key tree"},
        {"BlockCount", {{0x10, 2, 2}}, "counts 2 data blocks"},
        {"BlockClaimsMoreThanFits", {{kBlock + 4, 4, 0x2000}}, "data block 0 at 0x2020 claims"},
        {"RecordClaimsMoreThanFits", {{kPortsRecord, 4, 0x2000}}, "more than fit"},
        {"RecordsOverlap", {{kPortsRecord, 4, 107 - 8}}, "data block 0"},
        // The last record stops one byte short of a record header before the block's end.
        {"GapAtTheBlockEnd", {{kFreeRecord, 4, kBlockEnd - kFreeRecord - 19}}, "leave a gap"},
        {"UsedSize", {{kPortsRecord + 8, 4, 30}}, "do not add up"},
        {"IdOutOfRange", {{kPortsRecord + 4, 2, 300}}, "out of range"},
        {"TreeCycle", {{kNetEntry + 0x10, 4, 0x20 + 2 * 28}}, "reached twice"},
        {"EntryShared", {{0x20 + 0x20 + 28 + 0x10, 4, 0x20 + 3 * 28}}, "does not name its parent"},
        {"LinkOutsideTheTree", {{kNetEntry + 0x14, 4, 0x7000}}, "outside the tree"},
        {"RecordOfAMissingBlock", {{kNetEntry + 0x1A, 2, 7}}, "which does not exist"},
        {"KeyWithoutARecord", {{kNetEntry + 0x18, 4, 0xFFFFFFFF}}, "has no record"},
        {"KeyNameWithBackslash", {{kClassRecord + 20 + 2, 1, '\\'}}, "holding a backslash"},
        {"EmptyKeyName", {{kClassRecord + 0xC, 2, 0}, {kClassRecord + 8, 4, 20}}, "an empty name"},
        // A real Windows 95 file has a stored hash that does not match the name.
        {"HashNotMatchingTheName", {{kNetEntry + 4, 4, 0x1234}}, nullptr},
        {"BareRecordHeaderAtTheBlockEnd",
         {{kFreeRecord, 4, kBlockEnd - 20 - kFreeRecord},
          {kBlockEnd - 20, 4, 20},
          {kBlockEnd - 16, 4, 0xFFFFFFFF}},
         nullptr}};
    for (const auto& [label, pokes, why] : cases) {
        SCOPED_TRACE(label);
        QByteArray bytes = t::hiveFile("SMALL98.DAT");
        for (const auto& [at, width, value] : pokes)
            for (int i = 0; i < width; ++i)
                bytes[at + i] = char(value >> 8 * i);
        const auto image = HiveImage::parse(bytes);
        EXPECT_TRUE(why ? !image && image.reason().contains(QLatin1String(why)) : image.ok())
            << image.reason().toStdString();
        if (why || !image)
            continue;
        EXPECT_GE(image->findKey("class\\net"), 0);
        const QByteArray edited =
            t::imageOf(image->withValue(image->findKey("ports"), "COM1", 1, "2400,n,8,1")).bytes();
        EXPECT_EQ(edited.left(kPortsRecord) + edited.mid(kPortsRecord + 107),
                  bytes.left(kPortsRecord) + bytes.mid(kPortsRecord + 107));
    }
}

// Random value changes and new keys on a small file, each step checked against a model and
// the invariants; the run fills a block to 255 records, grows a block past 4 KiB and the key
// tree by a page, and uses empty value names and empty text.
TEST(HiveImage, RandomEditsKeepTheModelAndTheInvariants)
{
    struct Key {
        QByteArray path;
        std::vector<std::tuple<QByteArray, quint32, QByteArray>> values;
    };
    std::vector<Key> keys = {{"", {}}, // in the file's order
                             {"Ports",
                              {{"", 1, "ports"},
                               {"COM1", 1, "9600,n,8,1"},
                               {"Flags", 4, QByteArray("\x01\0\0\0", 4)},
                               {"Bin", 3, QByteArray("\xE9\0\x81", 3)}}},
                             {"Class", {}},
                             {"Class\\Net", {{"Path", 2, QByteArray("%windir%\0", 9)}}}};
    HiveImage image = t::imageOf(t::hiveFile("SMALL98.DAT"));
    std::mt19937 random(20240611);
    for (int step = 0; step < 700; ++step) {
        const size_t picked = random() % keys.size();
        if (step % 2 == 0 && step < 640) { // new keys, most below Ports so its block fills
            const size_t parent = step % 8 ? 1 : picked;
            const QByteArray name = "Key" + QByteArray::number(step) + (step % 5 ? "" : "\xC9");
            const QByteArray& path = keys[parent].path;
            image = t::imageOf(image.withSubkey(image.findKey(folded(path)), name));
            size_t end = parent + 1; // after the parent's last descendant
            while (end < keys.size() && (parent == 0 || keys[end].path.startsWith(path + '\\')))
                ++end;
            keys.insert(keys.begin() + end, Key{path.isEmpty() ? name : path + '\\' + name, {}});
        } else {
            static const QByteArray names[] = {"", "Value", "VALUE", "caf\xE9", "CAF\xC9", "Other"};
            const QByteArray name = names[random() % 6];
            const quint32 type = random() % 4 + 1;
            const QByteArray data(random() % 3 == 0 ? 0 : qsizetype(random() % (step % 50 ? 120 : 3000)),
                                  char('a' + step % 26));
            auto result = image.withValue(image.findKey(folded(keys[picked].path)), name, type, data);
            if (!result.ok()) { // only the root of a 98/Me file holds no values
                ASSERT_EQ(picked, 0u) << result.reason().toStdString();
                continue;
            }
            image = t::imageOf(result);
            auto& values = keys[picked].values;
            auto same = std::find_if(values.begin(), values.end(), [&](const auto& v) {
                return regfile::namesEqual(std::get<0>(v), name);
            });
            if (same == values.end())
                values.emplace_back(name, type, data);
            else
                *same = {std::get<0>(*same), type, data};
        }
        ASSERT_FALSE(HasFailure()) << step;
        ASSERT_EQ(t::hiveFaults(image.bytes()), QString()) << step;
        QByteArray expected;
        for (const Key& k : keys) {
            expected += "K " + k.path.toHex() + '\n';
            for (const auto& [n, type, data] : k.values)
                expected += "V " + k.path.toHex() + ' ' + n.toHex() + ' ' + QByteArray::number(type) + ' ' +
                            data.toHex() + '\n';
        }
        ASSERT_EQ(t::firstDifference(t::dumpOf(image), expected), QByteArray()) << step;
    }
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("SYSTEM.DAT"));
    ASSERT_TRUE(t::writeBytes(file, image.bytes()));
    t::expectReadersAgree(file, image);
}

} // namespace
} // namespace velmora
