#include "config/Module2.h"

#include "support/FileFixtures.h"
#include "support/RegistryValues.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora {
namespace {

const QString kNet = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Net\\0000\\");
const QString kAol = QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\");
const QByteArray kNothing = "<2>"; // the value (or its key) is missing

class RegistryValues : public ::testing::Test {
protected:
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/system.reg");
    RegistryApi api{file};
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
        {REG_DWORD, QByteArray("\0\0\0\x80", 4), true, "2147483648"},
        {REG_DWORD, QByteArray("\x40\x02", 2), true, "576"},
        {REG_BINARY, "01", true, "Unknown"},
        {REG_SZ, QByteArray(1024, 'a'), true, QString(1024, 'a')}, // fills the buffer
        {REG_SZ, QByteArray(1025, 'a'), false, "Unknown"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data.toHex().toStdString());
        ASSERT_EQ(testing::putValue(api, kNet.toLatin1(), "V", c.type, c.data), ERROR_SUCCESS);
        strRegValue = QStringLiteral("left over");
        QString text = QStringLiteral("Unknown");
        EXPECT_EQ(module.ReadKeyValue(root, kNet, QStringLiteral("V"), text), c.result);
        EXPECT_EQ(std::pair(text, strRegValue), std::pair(c.text, c.text));
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

// Types 1, 3 and 4 store as REG_SZ, REG_BINARY and REG_DWORD. A number that cannot be written
// changes nothing, not even by creating its missing key; a failure empties the value argument, a
// success leaves it alone.
TEST_F(RegistryValues, WritingStoresTheBytesOrNothing)
{
    ASSERT_EQ(testing::putValue(api, kNet.toLatin1(), "Existing", REG_SZ, "1"), ERROR_SUCCESS);
    const QString created = QStringLiteral("Software\\New\\");
    const char* const notANumber = "not a whole number";
    const struct {
        QString key;
        qint32 type;
        QVariant value;
        QByteArray stored;
        const char* error = nullptr; // a part of the reason a refused write gives
    } cases[] = {
        {kNet, 2, QStringLiteral("x"), kNothing},        // another type writes nothing where the key exists
        {created, 2, QStringLiteral("x"), kNothing, ""}, // ... and fails where it had to be created
        {kAol, 4, QStringLiteral("14k"), kNothing, notANumber},
        {kNet, 4, QStringLiteral("2147483648"), kNothing, notANumber},
        {kNet, 4, qint64(1) << 40, kNothing, notANumber},
        {kNet, 4, QVariant(), kNothing, notANumber},
        {kNet, 1, 576, "576"}, // no terminator
        {kNet, 1, QString::fromUtf8("Café"), "Caf\xe9"},
        {kNet, 3, QStringLiteral("01"), "01"},
        {kNet, 4, 0x12345678, QByteArray("\x78\x56\x34\x12", 4)}, // every byte from its own shift
        {kNet, 4, QStringLiteral("2147483647"), QByteArray("\xff\xff\xff\x7f", 4)},
        {kNet, 4, QStringLiteral("-2147483648"), QByteArray("\0\0\0\x80", 4)},
        {kNet, 4, 1400.5, QByteArray("\x78\x05\0\0", 4)}, // a fraction rounds to even
        {kAol, 4, 1400, QByteArray("\x78\x05\0\0", 4)},   // a missing key is created
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key.toStdString() + ' ' + c.value.toString().toStdString());
        const QByteArray before = testing::readBytes(file);
        QVariant value = c.value;
        qint32 type = c.type;
        EXPECT_EQ(module.WriteKeyValue(root, c.key, type, QStringLiteral("V"), value), !c.error)
            << module.lastError().toStdString();
        EXPECT_EQ(value, c.error ? QVariant(QStringLiteral("")) : c.value);
        EXPECT_TRUE(!c.error || (!module.lastError().isEmpty() && module.lastError().contains(c.error)))
            << module.lastError().toStdString();
        quint32 storedType = 0;
        EXPECT_EQ(testing::valueOf(api, c.key.toLatin1(), "V", &storedType), c.stored);
        EXPECT_EQ(storedType, c.stored == kNothing ? 0 : quint32(c.type));
        // Nothing written, unless another type had to create its key.
        EXPECT_TRUE(c.stored != kNothing || c.key == created || testing::readBytes(file) == before);
    }
}

} // namespace
} // namespace velmora
