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
            {"Win95NewKeyAndBlock", "SMALL95.DAT", "Class\\Net\\0000", "DriverDesc", 1, "PCnet", 2, nullptr},
            {"ValueOverTheLimit", "SMALL98.DAT", "Ports", "Big", 3, QByteArray(16301, 'b'), 0, "16,300"}};
    for (const auto& [label, hive, key, name, type, data, newLines, refused] : cases) {
        SCOPED_TRACE(label);
        const QByteArray before = t::hiveFile(hive);
        ASSERT_TRUE(t::writeBytes(file, before));
        HiveStore store(file);
        const Result<void> created = store.createKey(key);
        ASSERT_TRUE(created) << created.reason().toStdString();
        const Result<Written> result = store.setValue(folded(key), name, type, data);
        EXPECT_TRUE(refused ? result.reason().contains(QLatin1String(refused))
                            : result && *result == Written::Done)
            << result.reason().toStdString();
        EXPECT_EQ(t::readBytes(file) == before, refused != nullptr);
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

// Whatever takes the file's place, while the store runs or before it starts, is named and left
// as it is: a damaged file is served empty, and only a file inside the drive, within the store's
// size limit, is read or written: through a link or a Windows folder that is a link, when they
// stay inside it; a write removes what a killed one left beside the file.
TEST(HiveOnADrive, OnlyAnOrdinaryFileInsideTheDriveIsReadOrWritten)
{
    const QByteArray hive = t::hiveFile("SMALL98.DAT");
    const QString kFile = "/drive/WINDOWS/SYSTEM.DAT";
    // How the file's place is taken, in a folder holding drive/REAL.DAT and outside/SYSTEM.DAT
    // besides; the words of the reason (nullptr: written through), and the file the write changes.
    const std::tuple<const char*, std::function<bool(const QString&)>, const char*, const char*> cases[] = {
        {"Damaged", [&](const QString& d) { return t::writeBytes(d + kFile, "X" + hive.mid(1)); },
         "SYSTEM.DAT is damaged: the file has no CREG signature", nullptr},
        {"LinkOutOfTheDrive",
         [&](const QString& d) { return QFile::link(d + "/outside/SYSTEM.DAT", d + kFile); },
         "the file is a link that leads out of the machine", nullptr},
        {"Oversized", // sparse: no disk space taken
         [&](const QString& d) {
             return t::writeBytes(d + kFile, "") && QFile::resize(d + kFile, HiveStore::kMaxHiveSize + 1);
         },
         "at 67108865 bytes it is too large", nullptr},
        {"LinkInsideTheDrive",
         [&](const QString& d) { return QFile::link(d + "/drive/REAL.DAT", d + kFile); }, nullptr,
         "REAL.DAT"},
        {"WindowsFolderALinkInsideTheDrive",
         [&](const QString& d) {
             return QDir(d + "/drive/WINDOWS").removeRecursively() &&
                    t::writeBytes(d + "/drive/WIN98/SYSTEM.DAT", hive) &&
                    QFile::link(d + "/drive/WIN98", d + "/drive/WINDOWS");
         },
         nullptr, "WIN98/SYSTEM.DAT"}};
    for (const auto& [label, make, why, changed] : cases) {
        SCOPED_TRACE(label);
        QTemporaryDir dir;
        const QString drive = dir.path() + "/drive", file = dir.path() + kFile;
        ASSERT_TRUE(t::writeBytes(file, hive) && t::writeBytes(drive + "/REAL.DAT", hive) &&
                    t::writeBytes(dir.path() + "/outside/SYSTEM.DAT", hive));
        HiveStore running(file, drive);
        running.refresh();
        ASSERT_FALSE(running.isDamaged());
        ASSERT_TRUE(QFile::remove(file) && make(dir.path()));
        const ino_t placed = t::inodeOf(file);
        ASSERT_TRUE(!changed || t::writeBytes(drive + '/' + changed + ".velmora-Ab12Cd", "x"));
        HiveStore starting(file, drive);
        for (HiveStore* store : {&running, &starting}) {
            const Result<Written> result = store->setValue("ports", "COM1", 1, "2400,n,8,1");
            EXPECT_TRUE(why ? result.reason().contains(QLatin1String(why)) : result.ok())
                << result.reason().toStdString();
            store->refresh(); // as every read does
            EXPECT_EQ(store->findKey("ports") >= 0, !why);
        }
        EXPECT_EQ(t::readBytes(dir.path() + "/outside/SYSTEM.DAT"), hive);
        EXPECT_TRUE(changed || t::inodeOf(file) == placed);
        if (changed) {
            EXPECT_TRUE(QFileInfo(file).isSymLink() || QFileInfo(drive + "/WINDOWS").isSymLink());
            EXPECT_NE(t::readBytes(drive + '/' + changed), hive);
            EXPECT_EQ(t::folderEntries(QFileInfo(drive + '/' + changed).absolutePath()).filter(".velmora-"),
                      QStringList());
        }
    }
}

} // namespace
} // namespace velmora
