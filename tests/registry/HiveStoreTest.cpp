#include "registry/HiveStore.h"
#include "registry/Registry.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
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

// A key is made with every missing key above it (those there keep their spelling) and a value
// set in it, in the file a store opened afresh reads; an edit the file's format refuses leaves the
// file as it was.
TEST_F(Hive, KeysAndValuesAreWrittenToTheFileOrRefusedLeavingIt)
{
    const QByteArray net1 = "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\CLASS\\NET\\0001";
    // File, key, value name, type and data, how many keys and values the listing gains, and words
    // of the refusal.
    const std::tuple<const char*, const char*, QByteArray, QByteArray, quint32, QByteArray, int, const char*>
        cases[] = {
            {"ExistingKeysInOtherCase", "SYSTEM.DAT", net1, "ipmtu", 1, "1", 0, nullptr},
            {"NewKeysThreeDeep", "SYSTEM.DAT", "Software\\Velmora\\Ports\\COM1", "", 1, "9600", 4, nullptr},
            {"ValueOverTheLimit", "SMALL98.DAT", "Ports", "Big", 3, QByteArray(16301, 'b'), 0, "16,300"}};
    for (const auto& [label, hive, key, name, type, data, newLines, refused] : cases) {
        SCOPED_TRACE(label);
        const QByteArray before = t::hiveFile(hive);
        ASSERT_TRUE(t::writeBytes(file, before));
        // Read-only, as Windows keeps it (a FAT drive mounted shows the attribute so): written all
        // the same, the mode kept.
        ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0444), 0);
        HiveStore store(file);
        const Result<void> created = store.createKey(key);
        ASSERT_TRUE(created) << created.reason().toStdString();
        const Result<Written> result = store.setValue(folded(key), name, type, data);
        EXPECT_TRUE(refused ? result.reason().contains(QLatin1String(refused))
                            : result && *result == Written::Done)
            << result.reason().toStdString();
        EXPECT_EQ(t::readBytes(file) == before, refused != nullptr);
        struct stat st {};
        EXPECT_TRUE(::stat(QFile::encodeName(file).constData(), &st) == 0 && (st.st_mode & 07777) == 0444);
        if (refused)
            continue;
        HiveStore reread(file);
        reread.refresh();
        EXPECT_EQ(t::valueIn(reread, reread.findKey(folded(key)), name), std::pair(type, data));
        EXPECT_EQ(t::dumpOf(reread.image()).count('\n'),
                  t::dumpOf(t::imageOf(before)).count('\n') + newLines);
        t::expectReadersAgree(file, reread.image());
    }
}

} // namespace
} // namespace velmora
