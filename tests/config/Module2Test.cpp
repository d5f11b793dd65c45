#include "config/Module2.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using testing::readBytes;

const QString kNet = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");
const QString kAol = QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\");

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
    bool write(const QString& keyPath, qint32 type, QVariant& value)
    {
        return module.WriteKeyValue(root, keyPath, type, QStringLiteral("V"), value);
    }

    QTemporaryDir dir;
    RegistryApi api{file()};
    Module2 module{api};
    HKEY root = HKEY_LOCAL_MACHINE;
};

TEST_F(RegistryValues, ReadingGivesTheTextOfTheValue)
{
    const struct {
        quint32 type;
        QByteArray data;
        bool result;
        QString text; // with the default "Unknown"
    } cases[] = {
        {REG_SZ, QByteArray("576\0", 4), true, "576"},
        {REG_SZ, "576", true, "576"},
        {REG_SZ, QByteArray("576\0\0", 5), true, QString("576") + QChar(0)}, // one NUL dropped
        {REG_SZ, "", true, ""},
        {REG_SZ, "Caf\xe9 \x80", true, QString::fromUtf8("Café €")},
        {REG_DWORD, QByteArray("\x00\x40\0\0", 4), true, "16384"},
        {REG_DWORD, QByteArray("\0\0\0\x80", 4), true, "2147483648"},
        {REG_DWORD, QByteArray("\x40\x02", 2), true, "576"},
        {REG_BINARY, "01", true, "Unknown"},
        {REG_SZ, QByteArray(1024, 'a'), true, QString(1024, 'a')}, // fills the buffer
        {REG_SZ, QByteArray(1025, 'a'), false, "Unknown"},
    };
    for (const auto& c : cases) {
        store("V", c.type, c.data);
        strRegValue = QStringLiteral("left over");
        QString text = QStringLiteral("Unknown");
        EXPECT_EQ(module.ReadKeyValue(root, kNet, QStringLiteral("V"), text), c.result)
            << c.data.toHex().toStdString();
        EXPECT_EQ(text, c.text) << c.data.toHex().toStdString();
        EXPECT_EQ(strRegValue, c.text);
    }
    // A missing key or value gives the default, which replaces what the previous read left.
    for (const QString& key : {QStringLiteral("System\\CurrentControlSet\\Services\\Serial\\"), kNet}) {
        strRegValue = QStringLiteral("1");
        QString text = QStringLiteral("0");
        EXPECT_FALSE(module.ReadKeyValue(root, key, QStringLiteral("Missing"), text));
        EXPECT_EQ(text, QStringLiteral("0"));
        EXPECT_EQ(strRegValue, QStringLiteral("0"));
    }
}

TEST_F(RegistryValues, WritingStoresTheBytes)
{
    const struct {
        qint32 type;
        QVariant value;
        quint32 storedType;
        QByteArray stored;
    } cases[] = {
        {1, QStringLiteral("1500"), REG_SZ, "1500"}, // no terminator
        {1, 576, REG_SZ, "576"},
        {1, QString::fromUtf8("Café"), REG_SZ, "Caf\xe9"},
        {3, QStringLiteral("01"), REG_BINARY, "01"},
        {4, 1500, REG_DWORD, QByteArray("\xdc\x05\0\0", 4)},
        {4, QStringLiteral("2147483647"), REG_DWORD, QByteArray("\xff\xff\xff\x7f", 4)},
        {4, QStringLiteral("-2147483648"), REG_DWORD, QByteArray("\0\0\0\x80", 4)},
        {4, 1400.5, REG_DWORD, QByteArray("\x78\x05\0\0", 4)}, // a fraction rounds to even
    };
    for (const auto& c : cases) {
        QVariant value = c.value;
        ASSERT_TRUE(write(kNet, c.type, value)) << module.lastError().toStdString();
        EXPECT_EQ(value, c.value) << "the value argument is left alone on success";
        quint32 storedType = 0;
        EXPECT_EQ(stored(kNet, "V", &storedType), c.stored) << c.value.toString().toStdString();
        EXPECT_EQ(storedType, c.storedType);
    }
    // A missing key is created, under its own spelling only.
    QVariant value = 1400;
    ASSERT_TRUE(write(kAol, 4, value));
    EXPECT_EQ(stored(kAol, "V"), QByteArray("\x78\x05\0\0", 4));
    EXPECT_EQ(stored(QStringLiteral("Software\\America Online\\AOL\\aolsock\\"), "V"), QByteArray("<2>"));
}

// Nothing is written, not even a missing key created, and the value argument is emptied.
TEST_F(RegistryValues, WritingRefusesWhatIsNotAWholeNumber)
{
    store("V", REG_DWORD, QByteArray("\x40\x02\0\0", 4));
    const QByteArray before = readBytes(file());
    for (const QVariant& refused : {QVariant(QStringLiteral("14k")), QVariant(QStringLiteral("2147483648")),
                                    QVariant(qint64(1) << 40), QVariant()}) {
        for (const QString& key : {kNet, kAol}) {
            QVariant value = refused;
            EXPECT_FALSE(write(key, 4, value));
            EXPECT_EQ(value, QVariant(QStringLiteral("")));
            EXPECT_TRUE(module.lastError().contains(QLatin1String("not a whole number")))
                << module.lastError().toStdString();
            EXPECT_EQ(readBytes(file()), before);
        }
    }
}

TEST_F(RegistryValues, OtherTypesWriteNothing)
{
    store("Existing", REG_SZ, "1");
    QVariant value = QStringLiteral("x");
    EXPECT_TRUE(write(kNet, 2, value)) << "the key existed";
    EXPECT_EQ(value, QVariant(QStringLiteral("x")));
    EXPECT_EQ(stored(kNet, "V"), QByteArray("<2>"));

    const QString missing = QStringLiteral("Software\\New\\");
    EXPECT_FALSE(write(missing, 2, value)) << "the key had to be created";
    EXPECT_EQ(value, QVariant(QStringLiteral("")));
    EXPECT_EQ(stored(missing, "V"), QByteArray("<2>"));
    EXPECT_FALSE(module.lastError().isEmpty());
}

} // namespace
} // namespace velmora
