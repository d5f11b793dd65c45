#include "platform/HiveStore.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace velmora {
namespace {

namespace t = velmora::testing;

// A row's label as a test name.
std::string testName(const char* label)
{
    return QString::fromLatin1(label).replace(QRegularExpression("[^A-Za-z0-9]+"), "_").toStdString();
}

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
    if (c.newLines <= 1) { // a value alone: only its key's block differs
        EXPECT_LT(t::changedSpan(before, t::readBytes(file)), 0x10000);
    }
}

const QByteArray kNet0 = "System\\CurrentControlSet\\Services\\Class\\Net\\0000";
const QByteArray kNet1 = kNet0.chopped(1) + "1";

INSTANTIATE_TEST_SUITE_P(
    Cases, HiveEdit,
    ::testing::Values(EditCase{"same size, names in other case", 0, kNet1.toUpper(), "ipmtu", 1, "1", 0},
                      EditCase{"larger, block re-packed", 0, kNet0, "DriverDesc", 3, QByteArray(3000, 'd'),
                               0},
                      EditCase{"new value", 0, kNet0, "Velmora", 4, QByteArray("\x10\0\0\0", 4), 1},
                      EditCase{"new keys three deep", 0, "Software\\Velmora\\Ports\\COM1", "", 1, "9600", 4},
                      EditCase{"95: same size", 2, "Ports", "COM1", 1, "1200,e,7,2", 0},
                      EditCase{"95: new key and block", 2, "Class\\Net\\0000", "DriverDesc", 1, "PCnet", 2}),
    [](const auto& info) { return testName(info.param.label); });

// ---- bad input: an orderly refusal naming the file and the reason; the file untouched ----

struct BadCase {
    const char* label;
    std::function<void(QByteArray&)> change; // made to the small hive's bytes: damage, unless write is given
    const char* reason;                      // in damage() or in the failed write's reason
    std::function<long(HiveStore&, QString&)> write = {};
};

long setCom1(HiveStore& store, QString& reason)
{
    return store.setValue("ports", "COM1", 1, "2400,n,8,1", reason);
}

class HiveBad : public Hive, public ::testing::WithParamInterface<BadCase> {};

TEST_P(HiveBad, RefusesInOrder)
{
    const BadCase& c = GetParam();
    QByteArray bytes = t::smallHive();
    if (c.change)
        c.change(bytes);
    const bool damaged = c.change && !c.write;
    HiveStore store(put(bytes));
    store.refresh();
    QString reason;
    EXPECT_EQ((c.write ? c.write : setCom1)(store, reason), ERROR_ACCESS_DENIED);
    if (damaged) {
        EXPECT_TRUE(store.damage().startsWith(QStringLiteral("SYSTEM.DAT"))) << store.damage().toStdString();
        EXPECT_TRUE(store.damage().contains(QLatin1String(c.reason))) << store.damage().toStdString();
        EXPECT_EQ(store.image().keyCount(), 1);
        EXPECT_EQ(reason, store.damage());
    } else {
        EXPECT_TRUE(reason.contains(QLatin1String(c.reason))) << reason.toStdString();
    }
    EXPECT_EQ(t::readBytes(file), bytes);
}

constexpr qsizetype kBlock = 0x2020, kNetEntry = 0x20 + 0x20 + 3 * 28, kPortsRecord = kBlock + 32;

INSTANTIATE_TEST_SUITE_P(
    Cases, HiveBad,
    ::testing::Values(
        BadCase{"truncated", [](QByteArray& b) { b.chop(100); }, "claims"},
        BadCase{"wrong signature", [](QByteArray& b) { b[0] = 'X'; }, "no CREG signature"},
        BadCase{"blocks past the end", [](QByteArray& b) { t::set32(b, 8, 0x9000); },
                "not after the key tree"},
        BadCase{"block count", [](QByteArray& b) { t::set16(b, 0x10, 2); }, "counts 2 data blocks"},
        BadCase{"record claims more than fits", [](QByteArray& b) { t::set32(b, kPortsRecord, 0x2000); },
                "more than fit"},
        BadCase{"records overlap",
                [](QByteArray& b) { t::set32(b, kPortsRecord, t::le32(b, kPortsRecord) - 8); },
                "data block 0"},
        BadCase{"used size", [](QByteArray& b) { t::set32(b, kPortsRecord + 8, 30); }, "do not add up"},
        BadCase{"id out of range", [](QByteArray& b) { t::set16(b, kPortsRecord + 4, 300); }, "out of range"},
        BadCase{"tree cycle", [](QByteArray& b) { t::set32(b, kNetEntry + 0x10, 0x20 + 2 * 28); },
                "reached twice"},
        BadCase{"entry shared", [](QByteArray& b) { t::set32(b, 0x20 + 0x20 + 28 + 0x10, 0x20 + 3 * 28); },
                "does not name its parent"},
        BadCase{"link outside the tree", [](QByteArray& b) { t::set32(b, kNetEntry + 0x14, 0x7000); },
                "outside the tree"},
        BadCase{"key without a record", [](QByteArray& b) { t::set32(b, kNetEntry + 0x18, 0xFFFFFFFF); },
                "has no record"},
        BadCase{"value over 16,300 bytes",
                {},
                "16,300",
                [](HiveStore& s, QString& r) {
                    return s.setValue("ports", "Big", 3, QByteArray(16301, 'b'), r);
                }},
        BadCase{
            "key over 60 KB",
            [](QByteArray& b) {
                auto image = HiveImage::parse(b).value();
                for (const char n : {'a', 'b', 'c'})
                    image = HiveImage::parse(
                                image.withValue(1, QByteArray(1, n), 3, QByteArray(16000, n)).value())
                                .value();
                b = image.bytes();
            },
            "60 KB",
            [](HiveStore& s, QString& r) { return s.setValue("ports", "d", 3, QByteArray(16000, 'd'), r); }},
        BadCase{"read-only",
                {},
                "SYSTEM.DAT is read-only",
                [](HiveStore& s, QString& r) {
                    QFile::setPermissions(s.filePath(), QFile::ReadOwner);
                    return setCom1(s, r);
                }}),
    [](const auto& info) { return testName(info.param.label); });

// A stored hash that does not match the name is no damage (a real Windows 95 file has one):
// the key is served and its entry kept as it is through a write elsewhere.
TEST_F(Hive, KeepsAKeyWithAnOddHash)
{
    QByteArray bytes = t::smallHive();
    t::set32(bytes, kNetEntry + 4, 0x1234);
    HiveStore store(put(bytes));
    store.refresh();
    ASSERT_FALSE(store.isDamaged());
    QString reason;
    ASSERT_EQ(setCom1(store, reason), ERROR_SUCCESS);
    EXPECT_EQ(t::readBytes(file).mid(kNetEntry, 28), bytes.mid(kNetEntry, 28));
    EXPECT_GE(store.findKey("class\\net"), 0);
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
