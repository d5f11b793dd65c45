#include "platform/Registry.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::crlf;
using testing::putValue;
using testing::readBytes;
using testing::valueOf;
using testing::writeBytes;

class RegistryCalls : public ::testing::Test {
protected:
    QString file() const { return dir.path() + QStringLiteral("/system.reg"); }
    long set(HKEY key, const QByteArray& name, quint32 type, const QByteArray& data)
    {
        return api.RegSetValueExA(key, name, 0, type, reinterpret_cast<const quint8*>(data.constData()),
                                  quint32(data.size()));
    }

    QTemporaryDir dir;
    RegistryApi api{file()};
};

// A key is created (unless none is given), then opened by a reader of the file alone. Names with
// the characters a key line gives a meaning to must read back as they were written.
TEST_F(RegistryCalls, KeyPaths)
{
    const struct {
        const char* label;
        QByteArray created, opened; // no key created when empty
        long result;                // of the create when it fails, else of the open
    } cases[] = {                   // First, while there is no file.
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
                 {"ClosingBracket", "Software\\a]b", "Software\\a]b", 0},
                 {"Brackets", "Software\\[x]", "Software\\[x]", 0},
                 {"Semicolon", "Software\\semi;colon", "Software\\semi;colon", 0},
                 {"LeadingAndTrailingBlanks", "Software\\ lt ", "Software\\ lt ", 0},
                 {"Quote", "Software\\quote\"d", "Software\\quote\"d", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        HKEY key = 0xdead;
        if (!c.created.isEmpty()) {
            const long made = api.RegCreateKeyA(HKEY_LOCAL_MACHINE, c.created, &key);
            if (made != ERROR_SUCCESS) {
                EXPECT_EQ(made, c.result);
                EXPECT_FALSE(QFile::exists(file())) << "nothing written";
                continue;
            }
            api.RegCloseKey(key);
        }
        RegistryApi reader(file());
        const long r = reader.RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.opened, 0, KEY_ALL_ACCESS_9X, &key);
        EXPECT_EQ(r, c.result) << reader.lastError().toStdString();
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
    ASSERT_EQ(set(key, "MiXedCase", REG_SZ, "one"), ERROR_SUCCESS);
    ASSERT_EQ(set(key, "MIXEDCASE", REG_SZ, "two"), ERROR_SUCCESS);
    ASSERT_EQ(set(key, "", REG_SZ, "Modem"), ERROR_SUCCESS);
    EXPECT_EQ(set(key, "line\nbreak", REG_SZ, "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(valueOf(api, "Software\\T", QByteArray()), QByteArray("Modem"));
    EXPECT_EQ(readBytes(file()),
              crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\T]\n\"MiXedCase\"=\"two\"\n@=\"Modem\"\n\n"));

    ASSERT_EQ(set(key, "Str", REG_SZ, "abc"), ERROR_SUCCESS);
    ASSERT_EQ(set(key, "Zero", REG_SZ, ""), ERROR_SUCCESS);
    quint8 buffer[4] = {'x', 'x', 'x', 'x'};
    const struct {
        const char* name;
        quint32 size, sizeAfter;
        long result;
        QByteArray buffer;
    } cases[] = {{"Str", 2, 3, ERROR_MORE_DATA, "xxxx"},
                 {"Str", 3, 3, ERROR_SUCCESS, "abcx"},
                 {"Zero", 4, 0, ERROR_SUCCESS, "abcx"},
                 {"Missing", 4, 0, ERROR_FILE_NOT_FOUND, "abcx"}};
    for (const auto& c : cases) {
        quint32 size = c.size;
        EXPECT_EQ(api.RegQueryValueExA(key, c.name, nullptr, buffer, &size), c.result) << c.name << c.size;
        EXPECT_EQ(size, c.sizeAfter) << c.name << c.size;
        EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), 4), c.buffer) << c.name << c.size;
    }
}

// Another program's changes are reloaded and merged rather than overwritten (how a change is
// noticed is the file watch's concern); a key it deleted is reported.
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
    ASSERT_EQ(putValue(api, "A", "c", REG_SZ, "4"), ERROR_SUCCESS);
    EXPECT_EQ(readBytes(file()), a1 + "\"b\"=\"3\"\r\n\"c\"=\"4\"\r\n");

    ASSERT_TRUE(writeBytes(file(), crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Other]\n")));
    EXPECT_EQ(set(key, "v", REG_SZ, "2"), ERROR_KEY_DELETED);
    quint32 size = 0;
    EXPECT_EQ(api.RegQueryValueExA(key, "v", nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_FALSE(readBytes(file()).contains("[HKEY_LOCAL_MACHINE\\A]"));
    EXPECT_EQ(api.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(api.RegCloseKey(key), ERROR_INVALID_HANDLE) << "closed twice";
    EXPECT_EQ(set(key, "v", REG_SZ, "x"), ERROR_INVALID_HANDLE);
    ASSERT_TRUE(QFile::remove(file()));
    EXPECT_EQ(valueOf(api, "A", "a"), QByteArray("<2>"));
}

} // namespace
} // namespace velmora
