#include "config/Module2.h"

#include "config/QueriedValue.h"
#include "core/AnsiCodePage.h"

#include <algorithm>

#include <cmath>
#include <limits>
#include <optional>

namespace velmora {

QString strRegValue;

namespace {

constexpr quint32 kReadBufferSize = 1024;

std::optional<qint32> fitting(qint64 value)
{
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

// A whole decimal number: an optional sign and digits, nothing else.
std::optional<qint32> parseWholeNumber(const QString& text)
{
    qsizetype i = 0;
    const bool negative = text.startsWith(u'-');
    if (negative || text.startsWith(u'+'))
        ++i;
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    return fitting(negative ? -value : value);
}

// The value as a signed 32-bit number, as the program's conversion to a long gives it:
// fractions round half to even, True is -1.
std::optional<qint32> toNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? -1 : 0;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::Long:
    case QMetaType::LongLong:
        return fitting(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint32>::max()))
            return std::nullopt;
        return qint32(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = std::nearbyint(value.toDouble());
        if (!std::isfinite(d) || d < std::numeric_limits<qint32>::min() ||
            d > std::numeric_limits<qint32>::max())
            return std::nullopt;
        return qint32(d);
    }
    case QMetaType::QString:
    case QMetaType::QByteArray:
        return parseWholeNumber(value.toString());
    default:
        return std::nullopt;
    }
}

} // namespace

Module2::Module2(RegistryApi& registry) : m_registry(registry) {}

bool Module2::ReadKeyValue(HKEY& root, const QString& keyPath, const QString& valueName, QString& text)
{
    HKEY key = 0;
    bool result = false;
    if (m_registry.RegOpenKeyExA(root, toAnsi(keyPath), 0, KEY_ALL_ACCESS_9X, &key) == ERROR_SUCCESS) {
        quint8 buffer[kReadBufferSize] = {};
        quint32 size = kReadBufferSize;
        quint32 type = 0;
        if (m_registry.RegQueryValueExA(key, toAnsi(valueName), &type, buffer, &size) == ERROR_SUCCESS) {
            const QByteArrayView bytes(reinterpret_cast<const char*>(buffer),
                                       std::min(size, kReadBufferSize));
            if (const std::optional<QString> decoded = queriedValueText(type, bytes))
                text = *decoded;
            result = true;
        }
    }
    strRegValue = text;
    m_registry.RegCloseKey(key);
    return result;
}

bool Module2::WriteKeyValue(HKEY& root, const QString& keyPath, qint32& type, const QString& valueName,
                            QVariant& value)
{
    auto fail = [&](const QString& reason) {
        value = QString(QLatin1String(""));
        m_lastError = reason;
        return false;
    };

    // The data first: a number that cannot be written leaves the registry untouched, the key
    // included.
    QByteArray data;
    switch (type) {
    case REG_SZ:
    case REG_BINARY:
        data = toAnsi(value.toString()); // the text's characters, without a terminator
        break;
    case REG_DWORD:
        if (const auto number = toNumber(value)) {
            const auto n = quint32(*number);
            const char bytes[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
            data = QByteArray(bytes, 4);
        } else {
            return fail(
                QStringLiteral("\"%1\" is not a whole number that fits 32 bits").arg(value.toString()));
        }
        break;
    default:
        break;
    }

    const QByteArray path = toAnsi(keyPath);
    HKEY key = 0;
    long status = m_registry.RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS_9X, &key);
    QString reason;
    bool createFailed = false;
    if (status != ERROR_SUCCESS && m_registry.RegCreateKeyA(root, path, &key) != ERROR_SUCCESS) {
        reason = m_registry.lastError(); // says more than the bad handle the set then meets
        createFailed = true;
    }
    if (type == REG_SZ || type == REG_BINARY || type == REG_DWORD) {
        status = m_registry.RegSetValueExA(key, toAnsi(valueName), 0, quint32(type),
                                           reinterpret_cast<const quint8*>(data.constData()),
                                           quint32(data.size()));
        if (status != ERROR_SUCCESS && !createFailed)
            reason = m_registry.lastError();
    } else if (status != ERROR_SUCCESS && !createFailed) {
        reason = QStringLiteral("the key had to be created, and values of type %1 are not written").arg(type);
    }
    m_registry.RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return fail(reason);
    return true;
}

} // namespace velmora
