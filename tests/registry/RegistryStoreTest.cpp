#include "registry/RegistryStore.h"
#include "registry/Registry.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace testing;

// A regedit file with Windows line breaks holding the given blocks.
QByteArray reg(const char* blocks)
{
    return crlf(QByteArray("REGEDIT4\n\n") + blocks);
}
const QByteArray kA1 = reg("[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n");

class StoredRegistry : public ::testing::Test {
protected:
    QString file() const { return dir.path() + QStringLiteral("/system.reg"); }
    QTemporaryDir dir;
};

// The same data again leaves the file alone; a value changed and changed back leaves a real
// regedit export exactly as it was; while it is changed, only its own lines differ (that every
// form regedit writes comes back line for line, the format's tests show).
TEST_F(StoredRegistry, ChangingAValueOfARealExportAndBackRestoresTheFile)
{
    const QByteArray original = win98Excerpt();
    const std::pair<QByteArray, QByteArray> cases[] = {
        // key, name
        {"System\\CurrentControlSet\\Services\\Class\\Net\\0001", "IPMTU"},
        {"SOFTWARE\\Microsoft\\WBEM\\TRANSPORTS\\Network Transport Modules", "Stack Order"}}; // wrapped hex
    ASSERT_TRUE(writeBytes(file(), original));
    for (const auto& [key, name] : cases) {
        SCOPED_TRACE(name.constData());
        RegistryApi api(file());
        const ino_t inode = inodeOf(file());
        quint32 type = 0;
        const QByteArray data = valueOf(api, key, name, &type);
        ASSERT_EQ(putValue(api, key, name, type, data), ERROR_SUCCESS);
        EXPECT_EQ(inodeOf(file()), inode) << "the same data again is no write";
        ASSERT_EQ(putValue(api, key, name, REG_BINARY, "changed"), ERROR_SUCCESS);
        EXPECT_EQ(changedMiddle(original.split('\n'), readBytes(file()).split('\n')), 1)
            << "only the value's line is rewritten";
        ASSERT_EQ(putValue(api, key, name, type, data), ERROR_SUCCESS);
        EXPECT_EQ(readBytes(file()), original);
    }
}

// New lines go where regedit would list them.
TEST_F(StoredRegistry, Placement)
{
    const QByteArray tree =
        reg("[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n; kept with A\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n\n"
            "[HKEY_LOCAL_MACHINE\\A\\B\\C]\n\"c\"=\"3\"\n\n[HKEY_LOCAL_MACHINE\\E]\n\n[HKEY_CURRENT_"
            "USER\\Software]\n\"u\"=\"user\"\n\n");
    const auto treeWith = [&](const char* at, const char* added) { // tree with the lines added before "at"
        return QByteArray(tree).insert(tree.indexOf(at), crlf(added));
    };
    const QByteArray later = "[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"old\"\n\n[HKEY_LOCAL_MACHINE\\B]\n\n"
                             "[HKEY_LOCAL_MACHINE\\a]\n\"x\"=";
    // File, key, value name (none: only create the key), and the file after.
    const std::tuple<const char*, QByteArray, QByteArray, QByteArray, QByteArray> cases[] = {
        {"NewValueAfterTheLastValueOfItsKey", tree, "A", "n", treeWith("; kept", "\"n\"=\"new\"\n")},
        {"NewValueInAKeyWithoutValues", tree, "a\\b", "n",
         treeWith("\r\n[HKEY_LOCAL_MACHINE\\A\\B\\C]", "\"n\"=\"new\"\n")},
        {"NewSubkeyAfterItsSiblings", tree, "A\\D", "",
         treeWith("[HKEY_LOCAL_MACHINE\\E]", "[HKEY_LOCAL_MACHINE\\A\\D]\n\n")},
        {"NewTopKeyAfterTheMachineBlocks", tree, "Z\\Y", "z",
         treeWith("[HKEY_CURRENT_USER",
                  "[HKEY_LOCAL_MACHINE\\Z]\n\n[HKEY_LOCAL_MACHINE\\Z\\Y]\n\"z\"=\"new\"\n\n")},
        // Here the implied key's subkeys have the file's first block.
        {"ImpliedKeyBeforeItsSubkeys", reg("[HKEY_LOCAL_MACHINE\\P\\Q]\n\n"), "p", "p",
         reg("[HKEY_LOCAL_MACHINE\\P]\n\"p\"=\"new\"\n\n[HKEY_LOCAL_MACHINE\\P\\Q]\n\n")},
        {"LineFeedFileGetsLineFeeds", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n", "A\\B", "b",
         "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"a\"=\"1\"\n\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"b\"=\"new\"\n\n"},
        {"LastLineWithoutLineBreak", kA1.chopped(2), "A", "n", kA1 + "\"n\"=\"new\"\r\n"},
        {"EmptyFile", "", "Software", "v", reg("[HKEY_LOCAL_MACHINE\\Software]\n\"v\"=\"new\"\n\n")},
        {"LaterOfTwoBlocksOfOneKey", reg(later + "\"later\"\n\n"), "A", "x", reg(later + "\"new\"\n\n")}};
    for (const auto& [label, before, key, name, expected] : cases) {
        SCOPED_TRACE(label);
        ASSERT_TRUE(writeBytes(file(), before));
        RegistryApi api(file());
        HKEY handle = 0;
        ASSERT_EQ(name.isEmpty() ? api.RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &handle)
                                 : putValue(api, key, name, REG_SZ, "new"),
                  ERROR_SUCCESS);
        EXPECT_EQ(readBytes(file()), expected);
    }
}

// What a killed write left beside the file (here the file a link leads to) goes when a store
// opens; a lock file planted as a link is not followed. (The files either store refuses, the
// registry calls' tests show.)
TEST_F(StoredRegistry, LeftoversGoWhenTheStoreOpensAndAPlantedLockIsNotFollowed)
{
    const QString outside =
        dir.path() + QStringLiteral("/../velmora-outside-") + QFileInfo(dir.path()).fileName();
    const QString real = dir.path() + QStringLiteral("/m/real.reg"), leftover = real + ".velmora-Ab12Cd";
    ASSERT_TRUE(writeBytes(real, kA1) && writeBytes(leftover, QByteArray(4096, 'x')) &&
                QFile::link(real, file()));
    const RegistryStore opened(file());
    EXPECT_FALSE(QFileInfo::exists(leftover));
    ASSERT_TRUE(QFile::remove(file() + ".lock") && QFile::link(outside, file() + ".lock"));
    RegistryApi api(file());
    EXPECT_EQ(putValue(api, "A", "c", REG_SZ, "3"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(api.lastError().contains(QLatin1String("link"))) << api.lastError().toStdString();
    EXPECT_FALSE(QFileInfo::exists(outside));
    EXPECT_EQ(readBytes(file()), kA1);
}

// A write that cannot be completed (here: a file-size limit, as a full disk would) changes
// nothing, on disk or in memory.
TEST_F(StoredRegistry, AFailedWriteChangesNothing)
{
    const QByteArray original = win98Excerpt();
    const QByteArray key = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    ASSERT_TRUE(writeBytes(file(), original));
    // Refused with a reason, the old value kept in memory; a small change still fits.
    const int exitCode = exitCodeUnderFileSizeLimit(rlim_t(original.size() + 8), [&] {
        RegistryApi api(file());
        const bool refused =
            putValue(api, key, "RegisteredOwner", REG_SZ, QByteArray(64, 'x')) == ERROR_ACCESS_DENIED &&
            api.lastError() == "system.reg could not be written: File too large";
        const bool kept = valueOf(api, key, "RegisteredOwner") == "Trevor";
        return refused && kept && putValue(api, key, "RegisteredOwner", REG_SZ, "T") == ERROR_SUCCESS ? 0 : 1;
    });
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(readBytes(file()),
              QByteArray(original).replace("\"RegisteredOwner\"=\"Trevor\"", "\"RegisteredOwner\"=\"T\""));
}

} // namespace
} // namespace velmora
