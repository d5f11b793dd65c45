#include "config/Module2.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::readBytes;

const QString kNet = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");

class RegistryValues : public ::testing::Test {
protected:
    QString file() const { return dir.path() + QStringLiteral("/system.reg"); }

    // Stores raw data under kNet, as another program could have.
    void store(const QByteArray& name, quint32 type, const QByteArray& data)
    {
        ASSERT_EQ(testing::putValue(api, kNet.toLatin1(), name, type, data), ERROR_SUCCESS);
    }
    QByteArray stored(const QString& keyPath, const QByteArray& name, quint32* type = nullptr)
    {
        return testing::valueOf(api, keyPath.toLatin1(), name, type);
    }

    QTemporaryDir dir;
    RegistryApi api{file()};
    Module2 module{api};
    HKEY root = HKEY_LOCAL_MACHINE;
};

// ---- ReadKeyValue ----

struct ReadCase {
    const char* label;
    quint32 type;
    QByteArray data;
    bool result;
    QString text; // with the default "Unknown"
};

class Reading : public RegistryValues, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(Reading, GivesTheTextOfTheValue)
{
    const ReadCase& c = GetParam();
    store("V", c.type, c.data);
    strRegValue = QStringLiteral("left over");
    QString text = QStringLiteral("Unknown");
    EXPECT_EQ(module.ReadKeyValue(root, kNet, QStringLiteral("V"), text), c.result);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(strRegValue, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Module2, Reading,
    ::testing::Values(ReadCase{"TextWithTerminator", REG_SZ, QByteArray("576\0", 4), true, "576"},
                      ReadCase{"TextWithoutTerminator", REG_SZ, "576", true, "576"},
                      ReadCase{"OnlyOneTrailingNulDropped", REG_SZ, QByteArray("576\0\0", 5), true,
                               QString("576") + QChar(0)},
                      ReadCase{"ZeroLengthText", REG_SZ, "", true, ""},
                      ReadCase{"AnsiText", REG_SZ, "Caf\xe9 \x80", true, QString::fromUtf8("Café €")},
                      ReadCase{"Number", REG_DWORD, QByteArray("\x00\x40\0\0", 4), true, "16384"},
                      ReadCase{"NumberWithTopBit", REG_DWORD, QByteArray("\0\0\0\x80", 4), true,
                               "2147483648"},
                      ReadCase{"ShortNumber", REG_DWORD, QByteArray("\x40\x02", 2), true, "576"},
                      ReadCase{"BinaryKeepsTheDefault", REG_BINARY, "01", true, "Unknown"},
                      ReadCase{"FillsTheBuffer", REG_SZ, QByteArray(1024, 'a'), true, QString(1024, 'a')},
                      ReadCase{"LongerThanTheBuffer", REG_SZ, QByteArray(1025, 'a'), false, "Unknown"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryValues, MissingKeyOrValueGivesTheDefault)
{
    store("V", REG_SZ, "1");
    strRegValue = QStringLiteral("1");
    QString text = QStringLiteral("0");
    EXPECT_FALSE(module.ReadKeyValue(root, QStringLiteral("System\\CurrentControlSet\\Services\\Serial\\"),
                                     QStringLiteral("TxFIFO"), text));
    EXPECT_EQ(text, QStringLiteral("0"));
    EXPECT_EQ(strRegValue, QStringLiteral("0")) << "the default replaces what the previous read left";

    text = QStringLiteral("Unknown");
    EXPECT_FALSE(module.ReadKeyValue(root, kNet, QStringLiteral("Missing"), text));
    EXPECT_EQ(strRegValue, QStringLiteral("Unknown"));
}

// ---- WriteKeyValue ----

struct WriteCase {
    const char* label;
    qint32 type;
    QVariant value;
    quint32 storedType;
    QByteArray stored;
};

class Writing : public RegistryValues, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(Writing, StoresTheBytes)
{
    const WriteCase& c = GetParam();
    qint32 type = c.type;
    QVariant value = c.value;
    ASSERT_TRUE(module.WriteKeyValue(root, kNet, type, QStringLiteral("V"), value))
        << module.lastError().toStdString();
    EXPECT_EQ(value, c.value) << "the value argument is left alone on success";
    quint32 storedType = 0;
    EXPECT_EQ(stored(kNet, "V", &storedType), c.stored);
    EXPECT_EQ(storedType, c.storedType);
}

INSTANTIATE_TEST_SUITE_P(
    Module2, Writing,
    ::testing::Values(
        WriteCase{"TextWithoutTerminator", 1, QStringLiteral("1500"), REG_SZ, "1500"},
        WriteCase{"NumberAsText", 1, 576, REG_SZ, "576"},
        WriteCase{"AnsiText", 1, QString::fromUtf8("Café"), REG_SZ, "Caf\xe9"},
        WriteCase{"TextAsBytes", 3, QStringLiteral("01"), REG_BINARY, "01"},
        WriteCase{"Number", 4, 1500, REG_DWORD, QByteArray("\xdc\x05\0\0", 4)},
        WriteCase{"NumberInText", 4, QStringLiteral("1400"), REG_DWORD, QByteArray("\x78\x05\0\0", 4)},
        WriteCase{"NegativeText", 4, QStringLiteral("-1"), REG_DWORD, QByteArray("\xff\xff\xff\xff", 4)},
        WriteCase{"LargestNumber", 4, QStringLiteral("2147483647"), REG_DWORD,
                  QByteArray("\xff\xff\xff\x7f", 4)},
        WriteCase{"SmallestNumber", 4, QStringLiteral("-2147483648"), REG_DWORD, QByteArray("\0\0\0\x80", 4)},
        WriteCase{"FractionRoundsToEven", 4, 1400.5, REG_DWORD, QByteArray("\x78\x05\0\0", 4)}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryValues, WritingUnderAMissingKeyCreatesIt)
{
    qint32 type = 4;
    QVariant value = 1400;
    const QString aol = QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\");
    ASSERT_TRUE(module.WriteKeyValue(root, aol, type, QStringLiteral("mtu"), value));
    EXPECT_EQ(stored(aol, "mtu"), QByteArray("\x78\x05\0\0", 4));
    EXPECT_EQ(stored(QStringLiteral("Software\\America Online\\AOL\\aolsock\\"), "mtu"), QByteArray("<2>"));
    QString text = QStringLiteral("Unknown");
    EXPECT_TRUE(module.ReadKeyValue(root, aol, QStringLiteral("mtu"), text));
    EXPECT_EQ(text, QStringLiteral("1400"));
}

struct RefusedNumber {
    const char* label;
    QVariant value;
};

class NotANumber : public RegistryValues, public ::testing::WithParamInterface<RefusedNumber> {};

TEST_P(NotANumber, WritesNothingAndSaysWhy)
{
    store("mtu", REG_DWORD, QByteArray("\x40\x02\0\0", 4));
    const QByteArray before = readBytes(file());
    qint32 type = 4;
    QVariant value = GetParam().value;
    EXPECT_FALSE(module.WriteKeyValue(root, kNet, type, QStringLiteral("mtu"), value));
    EXPECT_EQ(value, QVariant(QStringLiteral("")));
    EXPECT_TRUE(module.lastError().contains(QLatin1String("not a whole number")))
        << module.lastError().toStdString();
    EXPECT_EQ(readBytes(file()), before);

    // Not even a missing key is created for it.
    value = GetParam().value;
    type = 4;
    EXPECT_FALSE(module.WriteKeyValue(root, QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\"),
                                      type, QStringLiteral("mtu"), value));
    EXPECT_EQ(readBytes(file()), before);
}

INSTANTIATE_TEST_SUITE_P(Module2, NotANumber,
                         ::testing::Values(RefusedNumber{"Empty", QStringLiteral("")},
                                           RefusedNumber{"TrailingLetters", QStringLiteral("14k")},
                                           RefusedNumber{"BeyondThirtyTwoBits", QStringLiteral("2147483648")},
                                           RefusedNumber{"LargeNumber", QVariant(qint64(1) << 40)},
                                           RefusedNumber{"NoValue", QVariant()}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(RegistryValues, OtherTypesWriteNothing)
{
    store("Existing", REG_SZ, "1");
    qint32 type = 2;
    QVariant value = QStringLiteral("x");
    EXPECT_TRUE(module.WriteKeyValue(root, kNet, type, QStringLiteral("V"), value)) << "the key existed";
    EXPECT_EQ(value, QVariant(QStringLiteral("x")));
    EXPECT_EQ(stored(kNet, "V"), QByteArray("<2>"));

    const QString missing = QStringLiteral("Software\\New\\");
    EXPECT_FALSE(module.WriteKeyValue(root, missing, type, QStringLiteral("V"), value))
        << "the key had to be created";
    EXPECT_EQ(value, QVariant(QStringLiteral("")));
    EXPECT_EQ(stored(missing, "V"), QByteArray("<2>"));
    EXPECT_FALSE(module.lastError().isEmpty());
}

} // namespace
} // namespace velmora
