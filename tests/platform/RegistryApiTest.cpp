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

    // The open's result; a failed open must leave no handle.
    long open(const QByteArray& path)
    {
        HKEY key = 0xdead;
        const long r = api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_ALL_ACCESS_9X, &key);
        if (r == ERROR_SUCCESS)
            api.RegCloseKey(key);
        else
            EXPECT_EQ(key, 0u) << "a failed open leaves no handle";
        return r;
    }
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
    QByteArray query(HKEY key, const QByteArray& name)
    {
        quint8 buffer[256];
        quint32 size = sizeof buffer;
        const long r = api.RegQueryValueExA(key, name, nullptr, buffer, &size);
        return r == ERROR_SUCCESS ? QByteArray(reinterpret_cast<char*>(buffer), size)
                                  : QByteArray("<" + QByteArray::number(qint64(r)) + ">");
    }

    QTemporaryDir dir;
    RegistryApi api{file()};
};

// ---- keys ----

struct KeyCase {
    const char* label;
    QByteArray existing; // created first ("" = none)
    QByteArray opened;
    long result;
};

class KeyPaths : public RegistryCalls, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(KeyPaths, OpenAnswers)
{
    const KeyCase& c = GetParam();
    if (!c.existing.isEmpty())
        api.RegCloseKey(create(c.existing));
    EXPECT_EQ(open(c.opened), c.result) << api.lastError().toStdString();
}

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
                      KeyCase{"RootItself", "", "", 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryCalls, KeyNamesARegeditFileMustTreatCarefully)
{
    const QByteArray names[] = {"Software\\a]b", "Software\\[x]", "Software\\semi;colon",
                                "Software\\ lead and trail ", "Software\\quote\"d"};
    for (const QByteArray& name : names)
        EXPECT_EQ(testing::putValue(api, name, "v", REG_SZ, name), ERROR_SUCCESS);
    RegistryApi again(file()); // read back from the file alone
    for (const QByteArray& name : names)
        EXPECT_EQ(valueOf(again, name, "v"), name);
}

TEST_F(RegistryCalls, NamesAFileCannotHoldAreRefused)
{
    HKEY key = 0;
    EXPECT_EQ(api.RegCreateKeyA(HKEY_LOCAL_MACHINE, "a\r\nb", &key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(api.RegCreateKeyA(HKEY_LOCAL_MACHINE, QByteArray("a\0b", 3), &key), ERROR_INVALID_PARAMETER);
    key = create("Software");
    EXPECT_EQ(set(key, "line\nbreak", REG_SZ, "x"), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(readBytes(file()).contains("break"));
}

TEST_F(RegistryCalls, HandlesOpenRelativeToThemselves)
{
    api.RegCloseKey(create("System\\CurrentControlSet\\Services\\Serial"));
    HKEY system = 0, serial = 0, same = 0, created = 0;
    ASSERT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System", 0, KEY_ALL_ACCESS_9X, &system), ERROR_SUCCESS);
    ASSERT_EQ(
        api.RegOpenKeyExA(system, "currentcontrolset\\services\\serial\\", 0, KEY_ALL_ACCESS_9X, &serial),
        ERROR_SUCCESS);
    ASSERT_EQ(api.RegOpenKeyExA(serial, "", 0, KEY_ALL_ACCESS_9X, &same), ERROR_SUCCESS);
    EXPECT_NE(same, serial);
    EXPECT_EQ(set(same, "RxFIFO", REG_DWORD, QByteArray("\x0e\0\0\0", 4)), ERROR_SUCCESS);
    EXPECT_EQ(query(serial, "rxfifo"), QByteArray("\x0e\0\0\0", 4));
    ASSERT_EQ(api.RegCreateKeyA(serial, "Parameters\\", &created), ERROR_SUCCESS);
    EXPECT_TRUE(readBytes(file()).contains(
        "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\Serial\\Parameters]"));
    EXPECT_EQ(api.RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryCalls, OtherRootsAndUnknownHandlesAnswerEveryCallTheSame)
{
    const struct {
        const char* name;
        HKEY handle;
        long result;
    } cases[] = {{"current user", HKEY_CURRENT_USER, ERROR_FILE_NOT_FOUND},
                 {"never opened", 0x1234, ERROR_INVALID_HANDLE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HKEY out = 0;
        quint32 size = 0;
        const quint8 byte = 1;
        EXPECT_EQ(api.RegOpenKeyExA(c.handle, "Software", 0, KEY_ALL_ACCESS_9X, &out), c.result);
        EXPECT_EQ(api.RegCreateKeyA(c.handle, "Software", &out), c.result);
        EXPECT_EQ(api.RegQueryValueExA(c.handle, "v", nullptr, nullptr, &size), c.result);
        EXPECT_EQ(api.RegSetValueExA(c.handle, "v", 0, REG_BINARY, &byte, 1), c.result);
        EXPECT_FALSE(api.lastError().isEmpty());
    }
    EXPECT_FALSE(QFile::exists(file()));
}

// ---- values ----

TEST_F(RegistryCalls, ValueNamesKeepTheirFirstSpellingAndTheDefaultValueIsAt)
{
    HKEY key = create("Software\\T");
    EXPECT_EQ(query(key, ""), QByteArray("<2>")) << "a key has no default value until one is set";
    ASSERT_EQ(set(key, "MiXedCase", REG_SZ, "one"), ERROR_SUCCESS);
    ASSERT_EQ(set(key, "MIXEDCASE", REG_SZ, "two"), ERROR_SUCCESS);
    ASSERT_EQ(set(key, "", REG_SZ, "Modem"), ERROR_SUCCESS);
    EXPECT_EQ(query(key, QByteArray()), QByteArray("Modem"));
    EXPECT_EQ(readBytes(file()),
              crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
                   "[HKEY_LOCAL_MACHINE\\Software\\T]\n\"MiXedCase\"=\"two\"\n@=\"Modem\"\n\n"));
}

// A buffer too small is left alone and told the size needed; an empty value leaves it alone too;
// without a buffer, only the size is told.
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
    quint32 type = 0, size = 0; // no buffer: the size alone
    EXPECT_EQ(api.RegQueryValueExA(key, "Str", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 3u) << "the stored byte count, no terminator added";
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(api.RegQueryValueExA(key, "Str", nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(api.RegQueryValueExA(key, "Str", nullptr, nullptr, nullptr), ERROR_SUCCESS);
}

TEST_F(RegistryCalls, AKeyDeletedByAnotherProgramIsReported)
{
    ASSERT_TRUE(writeBytes(file(), crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Gone]\n\"v\"=\"1\"\n")));
    HKEY key = 0;
    ASSERT_EQ(api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Gone", 0, KEY_ALL_ACCESS_9X, &key),
              ERROR_SUCCESS);
    ASSERT_TRUE(writeBytes(file(), crlf("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Other]\n")));
    EXPECT_EQ(set(key, "v", REG_SZ, "2"), ERROR_KEY_DELETED);
    EXPECT_EQ(query(key, "v"), QByteArray("<1018>"));
    EXPECT_FALSE(readBytes(file()).contains("Gone"));
    EXPECT_EQ(api.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(api.RegCloseKey(key), ERROR_INVALID_HANDLE) << "closed twice";
    EXPECT_EQ(set(key, "v", REG_SZ, "x"), ERROR_INVALID_HANDLE);
}

} // namespace
} // namespace velmora
