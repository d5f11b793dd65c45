#pragma once

#include "registry/Registry.h"

// Values read and written through the registry calls alone, as a program over them would.
namespace velmora::testing {

// Sets a value under HKEY_LOCAL_MACHINE, its key created when missing; the calls' result.
inline long putValue(RegistryApi& api, const QByteArray& key, const QByteArray& name, quint32 type,
                     const QByteArray& data)
{
    HKEY handle = 0;
    if (const long r = api.RegCreateKeyA(HKEY_LOCAL_MACHINE, key, &handle); r != ERROR_SUCCESS)
        return r;
    const long r = api.RegSetValueExA(
        handle, name, 0, type, reinterpret_cast<const quint8*>(data.constData()), quint32(data.size()));
    api.RegCloseKey(handle);
    return r;
}

// A value's bytes under HKEY_LOCAL_MACHINE, or "<code>" with the result of the call that failed.
inline QByteArray valueOf(RegistryApi& api, const QByteArray& key, const QByteArray& name,
                          quint32* type = nullptr)
{
    HKEY handle = 0;
    long r = api.RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS_9X, &handle);
    quint8 buffer[2048];
    quint32 size = sizeof buffer;
    if (r == ERROR_SUCCESS) {
        r = api.RegQueryValueExA(handle, name, type, buffer, &size);
        api.RegCloseKey(handle);
    }
    return r == ERROR_SUCCESS ? QByteArray(reinterpret_cast<char*>(buffer), size)
                              : "<" + QByteArray::number(qint64(r)) + ">";
}

} // namespace velmora::testing
