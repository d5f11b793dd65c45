#include "registry/HiveStore.h"
#include "registry/Registry.h"
#include "registry/RegistryStore.h"

#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

class RegistryCalls : public ::testing::Test {
protected:
    QString file() const { return dir.path() + QStringLiteral("/system.reg"); }

    QTemporaryDir dir;
    RegistryApi api{file()};
};

// A key is created (unless none is given), then opened by a reader of the file alone. Names with
// the characters a key line gives a meaning to must read back as they were written.
TEST_F(RegistryCalls, KeyPaths)
{
    // The key created (none when empty), the key opened, and the result of the create when it
    // fails, else of the open. First, while there is no file.
    const std::tuple<const char*, QByteArray, QByteArray, long> cases[] = {
        {"CarriageReturn", "a\rb", "", ERROR_INVALID_PARAMETER},
        {"LineFeed", "a\nb", "", ERROR_INVALID_PARAMETER},
        {"Nul", QByteArray("a\0b", 3), "", ERROR_INVALID_PARAMETER},
        {"NoFileAtAll", "", "System", ERROR_FILE_NOT_FOUND},
        {"RootItself", "", "", 0},
        {"ParentsWereCreated", "Software\\T\\A\\B\\C", "Software\\T\\A", 0},
        {"TrailingBackslashes", "Software\\T\\A\\B\\C", "Software\\T\\A\\B\\C\\\\", 0},
        {"OtherCase", "MiXeD", "mixed", 0},
        {"DoubledBackslashCollapsed", "bad\\\\double", "bad\\double", 0},
        {"LeadingBackslash", "Software\\T", "\\Software\\T", ERROR_BAD_PATHNAME},
        {"MissingParent", "Software\\T", "Software\\T\\Missing\\Deeper", ERROR_FILE_NOT_FOUND},
        {"Brackets", "Software\\[x]", "Software\\[x]", 0},
        {"LeadingAndTrailingBlanks", "Software\\ lt ", "Software\\ lt ", 0},
    };
    for (const auto& [label, created, opened, result] : cases) {
        SCOPED_TRACE(label);
        HKEY key = 0;
        const long made = created.isEmpty() ? 0 : api.RegCreateKeyA(HKEY_LOCAL_MACHINE, created, &key);
        if (made != ERROR_SUCCESS) {
            EXPECT_EQ(made, result);
            EXPECT_FALSE(QFile::exists(file())) << "nothing written";
            continue;
        }
        api.RegCloseKey(key);
        key = 0xdead;
        RegistryApi reader(file());
        const long r = reader.RegOpenKeyExA(HKEY_LOCAL_MACHINE, opened, 0, KEY_ALL_ACCESS_9X, &key);
        EXPECT_EQ(r, result) << reader.lastError().toStdString();
        EXPECT_TRUE(r == ERROR_SUCCESS || key == 0) << "a failed open leaves no handle";
    }
}

// Value names keep their first spelling, and the default value is "@". A buffer too small is left
// alone and told the size needed (the stored byte count, no terminator added); an empty value
// leaves it alone too.
TEST_F(RegistryCalls, ValueNamesAndQuerySizes)
{
    HKEY key = 0;
    ASSERT_EQ(api.RegCreateKeyA(HKEY_LOCAL_MACHINE, "Software\\T", &key), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(api, "Software\\T", ""), QByteArray("<2>"))
        << "a key has no default value until one is set";
    ASSERT_EQ(putValue(api, "Software\\T", "MiXedCase", REG_SZ, "one"), ERROR_SUCCESS);
    ASSERT_EQ(putValue(api, "Software\\T", "MIXEDCASE", REG_SZ, "two"), ERROR_SUCCESS);
    ASSERT_EQ(putValue(api, "Software\\T", "", REG_SZ, "Modem"), ERROR_SUCCESS);
    EXPECT_EQ(putValue(api, "Software\\T", "line\nbreak", REG_SZ, "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(valueOf(api, "Software\\T", QByteArray()), QByteArray("Modem"));
    EXPECT_EQ(readBytes(file()),
              crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\T]\n\"MiXedCase\"=\"two\"\n@=\"Modem\"\n\n"));

    ASSERT_EQ(putValue(api, "Software\\T", "Str", REG_SZ, "abc"), ERROR_SUCCESS);
    ASSERT_EQ(putValue(api, "Software\\T", "Zero", REG_SZ, ""), ERROR_SUCCESS);
    quint8 buffer[4] = {'x', 'x', 'x', 'x'};
    // Name, buffer size before and after, and result; the buffer stays as it was.
    for (const auto& [name, sizeBefore, sizeAfter, result] :
         {std::tuple("Str", 2u, 3u, ERROR_MORE_DATA), std::tuple("Zero", 4u, 0u, ERROR_SUCCESS)}) {
        quint32 size = sizeBefore;
        EXPECT_EQ(api.RegQueryValueExA(key, name, nullptr, buffer, &size), result) << name;
        EXPECT_EQ(std::pair(size, QByteArray(reinterpret_cast<char*>(buffer), 4)),
                  std::pair(sizeAfter, QByteArray("xxxx")))
            << name;
    }
}

// Another program's changes are reloaded (how a change is noticed is the file watch's concern;
// that a write keeps them, the concurrent writes show); a key it deleted is reported.
TEST_F(RegistryCalls, AnotherProgramsChangesAreReloaded)
{
    const QByteArray a1 = crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n");
    ASSERT_TRUE(writeBytes(file(), a1));
    EXPECT_EQ(valueOf(api, "A", "a"), QByteArray("1"));
    HKEY key = 0;
    ASSERT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "A", 0, KEY_ALL_ACCESS_9X, &key), ERROR_SUCCESS);
    RegistryApi other(file()); // another program's registry, writing atomically
    ASSERT_EQ(putValue(other, "A", "b", REG_SZ, "3"), ERROR_SUCCESS);
    EXPECT_EQ(valueOf(api, "A", "b"), QByteArray("3"));

    ASSERT_TRUE(writeBytes(file(), crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Other]\n")));
    EXPECT_EQ(api.RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const quint8*>("2"), 1),
              ERROR_KEY_DELETED);
    quint32 size = 0;
    EXPECT_EQ(api.RegQueryValueExA(key, "v", nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_FALSE(readBytes(file()).contains("[HKEY_LOCAL_MACHINE\\A]"));
    EXPECT_EQ(api.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(api.RegCloseKey(key), ERROR_INVALID_HANDLE) << "closed twice";
    EXPECT_EQ(api.RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const quint8*>("x"), 1),
              ERROR_INVALID_HANDLE);
    ASSERT_TRUE(QFile::remove(file()));
    EXPECT_EQ(valueOf(api, "A", "a"), QByteArray("<2>"));
}

// Whatever takes the registry file's place, while the calls run or before they start, over either
// store, is named and left as it is: a damaged file is served empty, and only a file inside the
// machine (the text store's own folder, the drive for a hive), within the store's size limit, is
// read or written: through a link, when it stays inside (a folder that is a link, the host file's
// tests show). A write removes what a killed one left beside the file; a refused file put right is
// served again.
TEST(RegistryCallsOverEitherStore, OnlyAnOrdinaryFileInsideTheMachineIsReadOrWritten)
{
    struct Store {
        QString name;
        QByteArray good; // holds Ports\COM1
        bool hive;
    };
    const Store stores[] = {
        {"system.reg", crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Ports]\n\"COM1\"=\"9600,n,8,1\"\n"), false},
        {"SYSTEM.DAT", hiveFile("SMALL98.DAT"), true}};
    // The store, what takes the file's place: a link to the file of the store's name in a folder
    // (each holds a good one), else a file of that size (sparse: no disk space taken), else a
    // damaged file; and the words of the reason (nullptr: written through the link).
    const std::tuple<const char*, int, const char*, qint64, const char*> cases[] = {
        {"DamagedText", 0, nullptr, 0, "system.reg line 5:"},
        {"DamagedHive", 1, nullptr, 0, "SYSTEM.DAT is damaged: the file has no CREG signature"},
        {"TextLinkOutOfTheMachine", 0, "/outside/", 0, "the file is a link that leads out of the machine"},
        {"HiveLinkOutOfTheMachine", 1, "/outside/", 0, "the file is a link that leads out of the machine"},
        {"OversizedText", 0, nullptr, (qint64(256) << 20) + 1, "at 268435457 bytes it is too large"},
        {"OversizedHive", 1, nullptr, HiveStore::kMaxHiveSize + 1, "at 67108865 bytes it is too large"},
        {"TextLinkInsideItsFolder", 0, "/drive/WINDOWS/m/", 0, nullptr},
        {"HiveLinkInsideItsFolder", 1, "/drive/WINDOWS/m/", 0, nullptr},
        {"HiveLinkInsideTheDrive", 1, "/drive/", 0, nullptr}};
    for (const auto& [label, storeIndex, linkTo, size, why] : cases) {
        SCOPED_TRACE(label);
        const Store& store = stores[storeIndex];
        QTemporaryDir dir;
        const QString drive = dir.path() + "/drive", file = drive + "/WINDOWS/" + store.name;
        for (const QString& place : {file, drive + "/WINDOWS/m/" + store.name, drive + '/' + store.name,
                                     dir.path() + "/outside/" + store.name})
            ASSERT_TRUE(writeBytes(place, store.good));
        const auto open = [&] {
            return store.hive ? std::make_unique<RegistryApi>(std::make_unique<HiveStore>(file, drive))
                              : std::make_unique<RegistryApi>(file);
        };
        const auto running = open();
        ASSERT_EQ(valueOf(*running, "Ports", "COM1"), QByteArray("9600,n,8,1"));
        const QString target = linkTo ? dir.path() + linkTo + store.name : QString();
        const QByteArray damaged =
            store.hive ? "X" + store.good.mid(1) : store.good + "\"P\"=hex:80,01,\\\r\n";
        ASSERT_TRUE(QFile::remove(file) && (linkTo ? QFile::link(target, file)
                                            : size ? writeBytes(file, "") && QFile::resize(file, size)
                                                   : writeBytes(file, damaged)));
        const auto placed = std::pair(inodeOf(file), QFileInfo(file).lastModified()); // never written
        ASSERT_TRUE(why || writeBytes(target + ".velmora-Ab12Cd", "x"));
        const auto starting = open();
        for (RegistryApi* api : {running.get(), starting.get()}) {
            EXPECT_EQ(putValue(*api, "Ports", "COM1", REG_SZ, "2400,n,8,1"),
                      why ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
            EXPECT_TRUE(api->lastError().contains(QLatin1String(why))) << api->lastError().toStdString();
            EXPECT_EQ(valueOf(*api, "Ports", "COM1"), why ? "<2>" : "2400,n,8,1");
        }
        EXPECT_EQ(readBytes(dir.path() + "/outside/" + store.name), store.good);
        if (why) {
            EXPECT_EQ(std::pair(inodeOf(file), QFileInfo(file).lastModified()), placed);
            ASSERT_TRUE(QFile::remove(file) && writeBytes(file, store.good)); // put right by hand
            EXPECT_EQ(putValue(*running, "Ports", "COM1", REG_SZ, "y"), ERROR_SUCCESS)
                << running->lastError().toStdString();
            continue;
        }
        EXPECT_TRUE(QFileInfo(file).isSymLink());
        EXPECT_NE(readBytes(target), store.good);
        EXPECT_EQ(folderEntries(QFileInfo(target).absolutePath()).filter(".velmora-"), QStringList());
    }
}

} // namespace
} // namespace velmora
