#include "platform/Registry.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::crlf;
using testing::readBytes;
using testing::valueOf;
using testing::writeBytes;

class RegistryCalls : public ::testing::Test {
protected:
    QString file() const { return dir.path() + QStringLiteral("/system.reg"); }
    HKEY create(const QByteArray& path)
    {
        HKEY key = 0;
        EXPECT_EQ(api.RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key), ERROR_SUCCESS)
            << api.lastError().toStdString();
        return key;
    }
    long set(HKEY key, const QByteArray& name, quint32 type, const QByteArray& data)
    {
        return api.RegSetValueExA(key, name, 0, type, reinterpret_cast<const quint8*>(data.constData()),
                                  quint32(data.size()));
    }

    QTemporaryDir dir;
    RegistryApi api{file()};
};

// ---- key paths and names ----

struct KeyCase {
    const char* label;
    QByteArray created; // first, unless empty
    QByteArray opened;  // then, by a reader of the file alone
    long result;        // of the create when it fails, else of the open
};

class KeyPaths : public RegistryCalls, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyPaths, OpenAnswers)
{
    const KeyCase& c = GetParam();
    HKEY key = 0xdead;
    if (!c.created.isEmpty()) {
        const long made = api.RegCreateKeyA(HKEY_LOCAL_MACHINE, c.created, &key);
        if (made != ERROR_SUCCESS) {
            EXPECT_EQ(made, c.result);
            EXPECT_FALSE(QFile::exists(file())) << "nothing written";
            return;
        }
        api.RegCloseKey(key);
    }
    RegistryApi reader(file());
    const long r = reader.RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.opened, 0, KEY_ALL_ACCESS_9X, &key);
    EXPECT_EQ(r, c.result) << reader.lastError().toStdString();
    EXPECT_TRUE(r == ERROR_SUCCESS || key == 0) << "a failed open leaves no handle";
}

// Names with the characters a key line gives a meaning to must read back as they were written.
INSTANTIATE_TEST_SUITE_P(
    Registry, KeyPaths,
    ::testing::Values(KeyCase{"ParentsWereCreated", "Software\\T\\A\\B\\C", "Software\\T\\A", 0},
                      KeyCase{"TrailingBackslashes", "Software\\T\\A\\B\\C", "Software\\T\\A\\B\\C\\\\", 0},
                      KeyCase{"OtherCase", "MiXeD", "mixed", 0},
                      KeyCase{"DoubledBackslashCollapsed", "bad\\\\double", "bad\\double", 0},
                      KeyCase{"LeadingBackslash", "Software\\T", "\\Software\\T", ERROR_BAD_PATHNAME},
                      KeyCase{"MissingParent", "Software\\T", "Software\\T\\Missing\\Deeper",
                              ERROR_FILE_NOT_FOUND},
                      KeyCase{"NoFileAtAll", "", "System", ERROR_FILE_NOT_FOUND},
                      KeyCase{"RootItself", "", "", 0},
                      KeyCase{"ClosingBracket", "Software\\a]b", "Software\\a]b", 0},
                      KeyCase{"Brackets", "Software\\[x]", "Software\\[x]", 0},
                      KeyCase{"Semicolon", "Software\\semi;colon", "Software\\semi;colon", 0},
                      KeyCase{"LeadingAndTrailingBlanks", "Software\\ lt ", "Software\\ lt ", 0},
                      KeyCase{"Quote", "Software\\quote\"d", "Software\\quote\"d", 0},
                      KeyCase{"CarriageReturn", "a\rb", "", ERROR_INVALID_PARAMETER},
                      KeyCase{"LineFeed", "a\nb", "", ERROR_INVALID_PARAMETER},
                      KeyCase{"Nul", QByteArray("a\0b", 3), "", ERROR_INVALID_PARAMETER}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- values ----

TEST_F(RegistryCalls, ValueNamesKeepTheirFirstSpellingAndTheDefaultValueIsAt)
{
    HKEY key = create("Software\\T");
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
}

// A buffer too small is left alone and told the size needed (the stored byte count, no
// terminator added); an empty value leaves it alone too.
TEST_F(RegistryCalls, QuerySizes)
{
    HKEY key = create("Software\\T");
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

TEST_F(RegistryCalls, AKeyDeletedByAnotherProgramIsReported)
{
    ASSERT_TRUE(writeBytes(file(), crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Gone]\n\"v\"=\"1\"\n")));
    HKEY key = 0;
    ASSERT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Gone", 0, KEY_ALL_ACCESS_9X, &key),
              ERROR_SUCCESS);
    ASSERT_TRUE(writeBytes(file(), crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n")));
    EXPECT_EQ(set(key, "v", REG_SZ, "2"), ERROR_KEY_DELETED);
    quint32 size = 0;
    EXPECT_EQ(api.RegQueryValueExA(key, "v", nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_FALSE(readBytes(file()).contains("Gone"));
    EXPECT_EQ(api.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(api.RegCloseKey(key), ERROR_INVALID_HANDLE) << "closed twice";
    EXPECT_EQ(set(key, "v", REG_SZ, "x"), ERROR_INVALID_HANDLE);
}

} // namespace
} // namespace velmora
