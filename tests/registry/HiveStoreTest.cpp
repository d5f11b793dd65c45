#include "registry/HiveStore.h"
#include "regedit4/RegistryFile.h"
#include "registry/Registry.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sys/stat.h>

namespace velmora {
namespace {

namespace t = velmora::testing;

using t::folded;

class Hive : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.path() + QStringLiteral("/SYSTEM.DAT");
};

// The real Windows Me file, and a small 95 one (checksums).
TEST_F(Hive, EditsKeepEveryOtherByteAndTheInvariants)
{
    const QByteArray net0 = "System\\CurrentControlSet\\Services\\Class\\Net\\0000";
    // File, key, value name, type and data, and how many keys and values the listing gains.
    const std::tuple<const char*, const char*, QByteArray, QByteArray, quint32, QByteArray, int> cases[] = {
        {"SameSizeNamesInOtherCase", "SYSTEM.DAT", net0.chopped(1).toUpper() + "1", "ipmtu", 1, "1", 0},
        {"LargerBlockRepacked", "SYSTEM.DAT", net0, "DriverDesc", 3, QByteArray(3000, 'd'), 0},
        {"NewValue", "SYSTEM.DAT", net0, "Velmora", 4, QByteArray("\x10\0\0\0", 4), 1},
        {"NewKeysThreeDeep", "SYSTEM.DAT", "Software\\Velmora\\Ports\\COM1", "", 1, "9600", 4},
        {"Win95SameSize", "SMALL95.DAT", "Ports", "COM1", 1, "1200,e,7,2", 0},
        {"Win95NewKeyAndBlock", "SMALL95.DAT", "Class\\Net\\0000", "DriverDesc", 1, "PCnet", 2}};
    for (const auto& [label, hive, key, name, type, data, newLines] : cases) {
        SCOPED_TRACE(label);
        const QByteArray before = t::hiveFile(hive);
        ASSERT_TRUE(t::writeBytes(file, before));
        HiveStore store(file);
        store.refresh();
        const qsizetype lines = t::dumpOf(store.image()).count('\n');
        const Result<void> created = store.createKey(key);
        ASSERT_TRUE(created) << created.reason().toStdString();
        const Result<Written> set = store.setValue(folded(key), name, type, data);
        ASSERT_TRUE(set && *set == Written::Done) << set.reason().toStdString();

        HiveStore reread(file);
        reread.refresh();
        quint32 readType = 0;
        QByteArray readData;
        ASSERT_TRUE(reread.readValue(reread.findKey(folded(key)), name, readType, readData));
        EXPECT_EQ(std::pair(readType, readData), std::pair(type, data));
        EXPECT_EQ(t::dumpOf(reread.image()).count('\n'), lines + newLines);
        t::expectReadersAgree(file, reread.image());
        // A value alone: only its key's block differs.
        EXPECT_TRUE(newLines > 1 || t::changedMiddle(before, t::readBytes(file)) < 0x10000);
    }
}

// Places in SMALL98.DAT: its one data block, and in it the records of Ports (107 bytes), Class
// (no values) and the free space up to the block's end; the tree entry of Class\Net.
constexpr qsizetype kBlock = 0x2020, kPortsRecord = kBlock + 32, kClassRecord = 0x20AB, kFreeRecord = 0x20F4,
                    kBlockEnd = 0x3020, kNetEntry = 0x20 + 0x20 + 3 * 28;

// Damage gets an orderly refusal naming the file and the reason, the file untouched; one row per
// check of the reader. Odd but sound files (no reason) are served, and a write changes only the
// record it must and removes what a crashed write left beside the file.
TEST_F(Hive, DamagedFilesAreRefusedAndOddButSoundOnesServed)
{
    // Pokes (offset, width in bytes, value), and words of the reason in damage().
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
    const QString leftover = file + QStringLiteral(".velmora-Ab12Cd");
    for (const auto& [label, pokes, why] : cases) {
        SCOPED_TRACE(label);
        QByteArray bytes = t::hiveFile("SMALL98.DAT");
        for (const auto& [at, width, value] : pokes)
            for (int i = 0; i < width; ++i)
                bytes[at + i] = char(value >> 8 * i);
        ASSERT_TRUE(t::writeBytes(file, bytes));
        HiveStore store(file);
        store.refresh();
        ASSERT_TRUE(t::writeBytes(leftover, "x"));
        const Result<Written> result = store.setValue("ports", "COM1", 1, "2400,n,8,1");
        if (!why) {
            EXPECT_TRUE(result && *result == Written::Done) << result.reason().toStdString();
            EXPECT_EQ(t::readBytes(file).left(kPortsRecord), bytes.left(kPortsRecord));
            EXPECT_EQ(t::readBytes(file).mid(kPortsRecord + 107), bytes.mid(kPortsRecord + 107));
            EXPECT_GE(store.findKey("class\\net"), 0);
            EXPECT_FALSE(QFileInfo::exists(leftover));
            continue;
        }
        EXPECT_FALSE(result);
        EXPECT_TRUE(store.damage().startsWith(QStringLiteral("SYSTEM.DAT")) &&
                    store.damage().contains(QLatin1String(why)))
            << store.damage().toStdString();
        EXPECT_EQ(store.image().keyCount(), 1);
        EXPECT_EQ(result.reason(), store.damage());
        EXPECT_EQ(t::readBytes(file), bytes);
    }
}

// Whatever takes the file's place, while the store runs or before it starts, is named and never
// blocks, and only a file inside the drive is read or written: through a link or a Windows
// folder that is a link, when they stay inside it.
TEST(HiveOnADrive, OnlyAnOrdinaryFileInsideTheDriveIsReadOrWritten)
{
    const QByteArray hive = t::hiveFile("SMALL98.DAT");
    // How the file's place is taken, the words of the reason (nullptr: written through), and
    // the file the write changes.
    const std::tuple<const char*, std::function<bool(const QString&)>, const char*, const char*> cases[] = {
        {"Fifo", [](const QString& f) { return ::mkfifo(QFile::encodeName(f).constData(), 0600) == 0; },
         "SYSTEM.DAT cannot be read: it is not an ordinary file but a FIFO", nullptr},
        {"Folder", [](const QString& f) { return QDir().mkpath(f); }, "a folder stands in the file's place",
         nullptr},
        {"LinkToEndlessDevice", [](const QString& f) { return QFile::link("/dev/zero", f); },
         "the file is a link that leads out of the machine", nullptr},
        {"LinkOutOfTheDrive",
         [&](const QString& f) {
             return QFile::link(QFileInfo(f).absolutePath() + "/../../outside/SYSTEM.DAT", f);
         },
         "the file is a link that leads out of the machine", nullptr},
        {"Oversized", // sparse: no disk space taken
         [](const QString& f) {
             return t::writeBytes(f, "") && QFile::resize(f, HiveStore::kMaxHiveSize + 1);
         },
         "at 67108865 bytes it is too large", nullptr},
        {"LinkInsideTheDrive",
         [&](const QString& f) { return QFile::link(QFileInfo(f).absolutePath() + "/../REAL.DAT", f); },
         nullptr, "REAL.DAT"},
        {"WindowsFolderALinkInsideTheDrive",
         [&](const QString& f) {
             const QString windows = QFileInfo(f).absolutePath(),
                           win98 = QFileInfo(windows).absolutePath() + "/WIN98";
             return QDir(windows).removeRecursively() && t::writeBytes(win98 + "/SYSTEM.DAT", hive) &&
                    QFile::link(win98, windows);
         },
         nullptr, "WIN98/SYSTEM.DAT"}};
    for (const auto& [label, make, why, changed] : cases) {
        SCOPED_TRACE(label);
        QTemporaryDir dir;
        const QString drive = dir.path() + "/drive", file = drive + "/WINDOWS/SYSTEM.DAT";
        ASSERT_TRUE(t::writeBytes(file, hive) && t::writeBytes(drive + "/REAL.DAT", hive) &&
                    t::writeBytes(dir.path() + "/outside/SYSTEM.DAT", hive));
        HiveStore running(file, drive);
        running.refresh();
        ASSERT_FALSE(running.isDamaged());
        ASSERT_TRUE(QFile::remove(file) && make(file));
        HiveStore starting(file, drive);
        for (HiveStore* store : {&running, &starting}) {
            const Result<Written> result = store->setValue("ports", "COM1", 1, "2400,n,8,1");
            EXPECT_EQ(!result, bool(why)) << result.reason().toStdString();
            EXPECT_TRUE(result.reason().contains(QLatin1String(why))) << result.reason().toStdString();
            store->refresh(); // as every read does
            EXPECT_EQ(store->findKey("ports") >= 0, !why);
        }
        EXPECT_EQ(t::readBytes(dir.path() + "/outside/SYSTEM.DAT"), hive);
        if (changed) {
            EXPECT_TRUE(QFileInfo(file).isSymLink() || QFileInfo(drive + "/WINDOWS").isSymLink());
            EXPECT_NE(t::readBytes(drive + '/' + changed), hive);
            EXPECT_EQ(t::folderEntries(QFileInfo(drive + '/' + changed).absolutePath()).filter(".velmora-"),
                      QStringList());
        }
    }
}

// Writes over the limits, or to a file marked read-only, are refused and change nothing.
TEST_F(Hive, WritesOverTheLimitsOrToAReadOnlyFileAreRefused)
{
    ASSERT_TRUE(t::writeBytes(file, t::hiveFile("SMALL98.DAT")));
    HiveStore store(file);
    store.refresh();
    const Result<Written> big = store.setValue("ports", "Big", 3, QByteArray(16301, 'b'));
    EXPECT_FALSE(big);
    EXPECT_TRUE(big.reason().contains(QLatin1String("16,300"))) << big.reason().toStdString();
    EXPECT_EQ(t::readBytes(file), t::hiveFile("SMALL98.DAT"));
    for (const char n : {'a', 'b', 'c'})
        ASSERT_TRUE(store.setValue("ports", QByteArray(1, n), 3, QByteArray(16000, n)));
    const QByteArray full = t::readBytes(file);
    const Result<Written> beyond = store.setValue("ports", "d", 3, QByteArray(16000, 'd'));
    EXPECT_FALSE(beyond);
    EXPECT_TRUE(beyond.reason().contains(QLatin1String("60 KB"))) << beyond.reason().toStdString();
    QFile::setPermissions(file, QFile::ReadOwner);
    const Result<Written> readOnly = store.setValue("ports", "COM1", 1, "2400,n,8,1");
    EXPECT_FALSE(readOnly);
    EXPECT_TRUE(readOnly.reason().contains(QLatin1String("SYSTEM.DAT is read-only")))
        << readOnly.reason().toStdString();
    EXPECT_EQ(t::readBytes(file), full);
    // A full disk (here a file-size limit) names the file.
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    const int code = t::exitCodeUnderFileSizeLimit(rlim_t(full.size() - 1), [&] {
        HiveStore limited(file);
        const Result<Written> written = limited.setValue("ports", "COM1", 1, "2400,n,8,1");
        return !written && written.reason() == "SYSTEM.DAT could not be written: File too large" ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(t::readBytes(file), full);
}

// Random value changes and new keys on a small file, each step checked against a model and
// the invariants; the run fills a block to 255 records, grows a block past 4 KiB and the key
// tree by a page, and uses empty value names and empty text.
TEST_F(Hive, RandomEditsKeepTheModelAndTheInvariants)
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
    auto image = HiveImage::parse(t::hiveFile("SMALL98.DAT")).value();
    std::mt19937 random(20240611);
    for (int step = 0; step < 700; ++step) {
        const size_t picked = random() % keys.size();
        QByteArray bytes;
        if (step % 2 == 0 && step < 640) { // new keys, most below Ports so its block fills
            const size_t parent = step % 8 ? 1 : picked;
            const QByteArray name = "Key" + QByteArray::number(step) + (step % 5 ? "" : "\xC9");
            const QByteArray& path = keys[parent].path;
            bytes = image.withSubkey(image.findKey(folded(path)), name).value();
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
            bytes = std::move(result).value();
            auto& values = keys[picked].values;
            auto same = std::find_if(values.begin(), values.end(), [&](const auto& v) {
                return regfile::namesEqual(std::get<0>(v), name);
            });
            if (same == values.end())
                values.emplace_back(name, type, data);
            else
                *same = {std::get<0>(*same), type, data};
        }
        auto next = HiveImage::parse(bytes);
        ASSERT_TRUE(next.ok()) << step << ": " << next.reason().toStdString();
        image = std::move(next).value();
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
    ASSERT_TRUE(t::writeBytes(file, image.bytes()));
    t::expectReadersAgree(file, image);
}

} // namespace
} // namespace velmora
