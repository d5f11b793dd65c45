#include "platform/HiveStore.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace velmora {
namespace {

namespace t = velmora::testing;

QByteArray folded(QByteArrayView path)
{
    QByteArray display, fold;
    regfile::normalisePath(path, display, fold);
    return fold;
}

class Hive : public ::testing::Test {
protected:
    QString put(const QByteArray& bytes)
    {
        EXPECT_TRUE(t::writeBytes(file, bytes));
        return file;
    }
    QTemporaryDir dir;
    QString file = dir.path() + QStringLiteral("/SYSTEM.DAT");
};

// ---- edits, checked by both readers ----

struct EditCase {
    const char* label;
    int hive; // 0 the real Windows Me file, 1 a small 98/Me one, 2 a small 95 one (checksums)
    QByteArray key, name;
    quint32 type;
    QByteArray data;
    int newLines; // keys and values the listing gains
};

class HiveEdit : public Hive, public ::testing::WithParamInterface<EditCase> {};

TEST_P(HiveEdit, KeepsEveryOtherByteAndTheInvariants)
{
    const EditCase& c = GetParam();
    const QByteArray before = c.hive == 0 ? t::hiveFile("SYSTEM.DAT") : t::smallHive(c.hive == 2);
    HiveStore store(put(before));
    store.refresh();
    const qsizetype lines = t::dumpOf(store.image()).count('\n');
    QString reason;
    ASSERT_EQ(store.createKey(c.key, reason), ERROR_SUCCESS) << reason.toStdString();
    ASSERT_EQ(store.setValue(folded(c.key), c.name, c.type, c.data, reason), ERROR_SUCCESS)
        << reason.toStdString();

    HiveStore reread(file);
    reread.refresh();
    quint32 type = 0;
    QByteArray data;
    ASSERT_TRUE(reread.readValue(reread.findKey(folded(c.key)), c.name, type, data));
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(data, c.data);
    EXPECT_EQ(t::dumpOf(reread.image()).count('\n'), lines + c.newLines);
    t::expectReadersAgree(file, reread.image());
    const t::CommonEnds same = t::commonEnds(before, t::readBytes(file));
    if (c.newLines <= 1) // a value alone: only its key's block differs
        EXPECT_LT(t::readBytes(file).size() - same.head - same.tail, 0x10000);
}

const QByteArray kNet0 = "System\\CurrentControlSet\\Services\\Class\\Net\\0000";

INSTANTIATE_TEST_SUITE_P(
    Cases, HiveEdit,
    ::testing::Values(EditCase{"SameSizeNamesInOtherCase", 0, kNet0.chopped(1).toUpper() + "1", "ipmtu", 1,
                               "1", 0},
                      EditCase{"LargerBlockRepacked", 0, kNet0, "DriverDesc", 3, QByteArray(3000, 'd'), 0},
                      EditCase{"NewValue", 0, kNet0, "Velmora", 4, QByteArray("\x10\0\0\0", 4), 1},
                      EditCase{"NewKeysThreeDeep", 0, "Software\\Velmora\\Ports\\COM1", "", 1, "9600", 4},
                      EditCase{"Win95SameSize", 2, "Ports", "COM1", 1, "1200,e,7,2", 0},
                      EditCase{"Win95NewKeyAndBlock", 2, "Class\\Net\\0000", "DriverDesc", 1, "PCnet", 2}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- damage: an orderly refusal naming the file and the reason; the file untouched ----

// Places in SMALL98.DAT: its one data block, and in it the records of Ports (107 bytes), Class
// (no values) and the free space up to the block's end; the tree entry of Class\Net.
constexpr qsizetype kBlock = 0x2020, kPortsRecord = kBlock + 32, kClassRecord = 0x20AB, kFreeRecord = 0x20F4,
                    kBlockEnd = 0x3020, kNetEntry = 0x20 + 0x20 + 3 * 28;

struct Poke {
    qsizetype at;
    int width; // bytes, little-endian
    quint32 value;
};
QByteArray poked(const std::vector<Poke>& pokes)
{
    QByteArray bytes = t::smallHive();
    for (const auto& [at, width, value] : pokes)
        for (int i = 0; i < width; ++i)
            bytes[at + i] = char(value >> 8 * i);
    return bytes;
}

long setCom1(HiveStore& store, QString& reason)
{
    return store.setValue("ports", "COM1", 1, "2400,n,8,1", reason);
}

struct BadCase {
    const char* label;
    std::vector<Poke> pokes;
    const char* reason; // in damage()
};

class HiveBad : public Hive, public ::testing::WithParamInterface<BadCase> {};

TEST_P(HiveBad, IsRefusedAndKept)
{
    const QByteArray bytes = poked(GetParam().pokes);
    HiveStore store(put(bytes));
    store.refresh();
    QString reason;
    EXPECT_EQ(setCom1(store, reason), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(store.damage().startsWith(QStringLiteral("SYSTEM.DAT")) &&
                store.damage().contains(QLatin1String(GetParam().reason)))
        << store.damage().toStdString();
    EXPECT_EQ(store.image().keyCount(), 1);
    EXPECT_EQ(reason, store.damage());
    EXPECT_EQ(t::readBytes(file), bytes);
}

// One row per check of the reader.
INSTANTIATE_TEST_SUITE_P(
    Cases, HiveBad,
    ::testing::Values(
        BadCase{"WrongSignature", {{0, 1, 'X'}}, "no CREG signature"},
        BadCase{"BlocksPastTheEnd", {{8, 4, 0x9000}}, "not after the key tree"},
        BadCase{"BlockCount", {{0x10, 2, 2}}, "counts 2 data blocks"},
        BadCase{"BlockClaimsMoreThanFits", {{kBlock + 4, 4, 0x2000}}, "data block 0 at 0x2020 claims"},
        BadCase{"RecordClaimsMoreThanFits", {{kPortsRecord, 4, 0x2000}}, "more than fit"},
        BadCase{"RecordsOverlap", {{kPortsRecord, 4, 107 - 8}}, "data block 0"},
        // The last record stops one byte short of a record header before the block's end.
        BadCase{"GapAtTheBlockEnd", {{kFreeRecord, 4, kBlockEnd - kFreeRecord - 19}}, "leave a gap"},
        BadCase{"UsedSize", {{kPortsRecord + 8, 4, 30}}, "do not add up"},
        BadCase{"IdOutOfRange", {{kPortsRecord + 4, 2, 300}}, "out of range"},
        BadCase{"TreeCycle", {{kNetEntry + 0x10, 4, 0x20 + 2 * 28}}, "reached twice"},
        BadCase{"EntryShared", {{0x20 + 0x20 + 28 + 0x10, 4, 0x20 + 3 * 28}}, "does not name its parent"},
        BadCase{"LinkOutsideTheTree", {{kNetEntry + 0x14, 4, 0x7000}}, "outside the tree"},
        BadCase{"KeyWithoutARecord", {{kNetEntry + 0x18, 4, 0xFFFFFFFF}}, "has no record"},
        BadCase{"KeyNameWithBackslash", {{kClassRecord + 20 + 2, 1, '\\'}}, "holding a backslash"},
        BadCase{"EmptyKeyName", {{kClassRecord + 0xC, 2, 0}, {kClassRecord + 8, 4, 20}}, "an empty name"}),
    [](const auto& info) { return std::string(info.param.label); });

// Odd but sound files are served, and a write changes only the record it must (and removes what a
// crashed write left beside the file): a stored hash that does not match the name (a real
// Windows 95 file has one), and a block whose last record is a bare record header.
TEST_F(Hive, OddButSoundFilesAreServedAndKept)
{
    const std::vector<Poke> oddities[] = {{{kNetEntry + 4, 4, 0x1234}},
                                          {{kFreeRecord, 4, kBlockEnd - 20 - kFreeRecord},
                                           {kBlockEnd - 20, 4, 20},
                                           {kBlockEnd - 16, 4, 0xFFFFFFFF}}};
    const auto outsidePorts = [](const QByteArray& b) {
        return b.left(kPortsRecord) + b.mid(kPortsRecord + 107);
    };
    const QString leftover = file + QStringLiteral(".velmora-Ab12Cd");
    for (const auto& pokes : oddities) {
        const QByteArray bytes = poked(pokes);
        HiveStore store(put(bytes));
        store.refresh();
        ASSERT_FALSE(store.isDamaged()) << store.damage().toStdString();
        ASSERT_TRUE(t::writeBytes(leftover, "x"));
        QString reason;
        ASSERT_EQ(setCom1(store, reason), ERROR_SUCCESS) << reason.toStdString();
        EXPECT_EQ(outsidePorts(t::readBytes(file)), outsidePorts(bytes));
        EXPECT_GE(store.findKey("class\\net"), 0);
        EXPECT_FALSE(QFileInfo::exists(leftover));
    }
}

// Writes over the limits, or to a file marked read-only, are refused and change nothing.
TEST_F(Hive, WritesOverTheLimitsOrToAReadOnlyFileAreRefused)
{
    HiveStore store(put(t::smallHive()));
    store.refresh();
    QString reason;
    EXPECT_EQ(store.setValue("ports", "Big", 3, QByteArray(16301, 'b'), reason), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(reason.contains(QLatin1String("16,300"))) << reason.toStdString();
    EXPECT_EQ(t::readBytes(file), t::smallHive());
    for (const char n : {'a', 'b', 'c'})
        ASSERT_EQ(store.setValue("ports", QByteArray(1, n), 3, QByteArray(16000, n), reason), ERROR_SUCCESS);
    const QByteArray full = t::readBytes(file);
    EXPECT_EQ(store.setValue("ports", "d", 3, QByteArray(16000, 'd'), reason), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(reason.contains(QLatin1String("60 KB"))) << reason.toStdString();
    QFile::setPermissions(file, QFile::ReadOwner);
    EXPECT_EQ(setCom1(store, reason), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(reason.contains(QLatin1String("SYSTEM.DAT is read-only"))) << reason.toStdString();
    EXPECT_EQ(t::readBytes(file), full);
}

// Random value changes and new keys on a small file, each step checked against a model and
// the invariants; the run fills a block to 255 records, grows a block past 4 KiB and the key
// tree by a page, and uses empty value names and empty text.
TEST(HiveProperty, RandomEditsKeepTheModelAndTheInvariants)
{
    struct Model {
        QByteArray name;
        std::vector<std::tuple<QByteArray, quint32, QByteArray>> values;
        std::vector<Model> children;
        void dump(const QByteArray& path, QByteArray& out) const
        {
            out += "K " + path.toHex() + '\n';
            for (const auto& [n, type, data] : values)
                out += "V " + path.toHex() + ' ' + n.toHex() + ' ' + QByteArray::number(type) + ' ' +
                       data.toHex() + '\n';
            for (const Model& c : children)
                c.dump(path.isEmpty() ? c.name : path + '\\' + c.name, out);
        }
    };
    auto image = HiveImage::parse(t::smallHive()).value();
    Model root;
    root.children = {{"Ports",
                      {{"", 1, "ports"},
                       {"COM1", 1, "9600,n,8,1"},
                       {"Flags", 4, QByteArray("\x01\0\0\0", 4)},
                       {"Bin", 3, QByteArray("\xE9\0\x81", 3)}},
                      {}},
                     {"Class", {}, {{"Net", {{"Path", 2, QByteArray("%windir%\0", 9)}}, {}}}}};
    std::vector<std::pair<QByteArray, Model*>> keys; // path, model
    const std::function<void(const QByteArray&, Model&)> collect = [&](const QByteArray& path, Model& m) {
        keys.emplace_back(path, &m);
        for (Model& c : m.children)
            collect(path.isEmpty() ? c.name : path + '\\' + c.name, c);
    };
    std::mt19937 random(20240611);
    for (int step = 0; step < 700; ++step) {
        keys.clear();
        collect({}, root);
        const auto& [path, model] = keys[random() % keys.size()];
        QByteArray bytes;
        if (step % 2 == 0 && step < 640) { // new keys, most below one parent so its block fills
            Model& parent = step % 8 ? *keys[1].second : *model;
            const QByteArray name = "Key" + QByteArray::number(step) + (step % 5 ? "" : "\xC9");
            const int key = image.findKey(folded(step % 8 ? keys[1].first : path));
            bytes = image.withSubkey(key, name).value();
            parent.children.push_back({name, {}, {}});
        } else {
            static const QByteArray names[] = {"", "Value", "VALUE", "caf\xE9", "CAF\xC9", "Other"};
            const QByteArray name = names[random() % 6];
            const quint32 type = random() % 4 + 1;
            const QByteArray data(random() % 3 == 0 ? 0 : qsizetype(random() % (step % 50 ? 120 : 3000)),
                                  char('a' + step % 26));
            auto result = image.withValue(image.findKey(folded(path)), name, type, data);
            if (!result.ok()) { // only the root of a 98/Me file holds no values
                ASSERT_EQ(path, QByteArray()) << result.reason().toStdString();
                continue;
            }
            bytes = std::move(result).value();
            auto same = std::find_if(model->values.begin(), model->values.end(), [&](const auto& v) {
                return regfile::namesEqual(std::get<0>(v), name);
            });
            if (same == model->values.end())
                model->values.emplace_back(name, type, data);
            else
                *same = {std::get<0>(*same), type, data};
        }
        auto next = HiveImage::parse(bytes);
        ASSERT_TRUE(next.ok()) << step << ": " << next.reason().toStdString();
        image = std::move(next).value();
        ASSERT_EQ(t::hiveFaults(image.bytes()), QString()) << step;
        QByteArray expected;
        root.dump({}, expected);
        ASSERT_EQ(t::firstDifference(t::dumpOf(image), expected), QByteArray()) << step;
    }
    QTemporaryDir dir;
    ASSERT_TRUE(t::writeBytes(dir.path() + "/SYSTEM.DAT", image.bytes()));
    t::expectReadersAgree(dir.path() + "/SYSTEM.DAT", image);
}

} // namespace
} // namespace velmora
