#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

namespace velmora {

using HKEY = quint32;
inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr HKEY HKEY_USERS = 0x80000003;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
inline constexpr HKEY HKEY_DYN_DATA = 0x80000006;

inline constexpr long ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_ACCESS_DENIED = 5,
                      ERROR_INVALID_HANDLE = 6, ERROR_INVALID_PARAMETER = 87, ERROR_BAD_PATHNAME = 161,
                      ERROR_MORE_DATA = 234, ERROR_KEY_DELETED = 1018;

inline constexpr quint32 REG_NONE = 0, REG_SZ = 1, REG_EXPAND_SZ = 2, REG_BINARY = 3, REG_DWORD = 4,
                         REG_MULTI_SZ = 7;

inline constexpr quint32 KEY_ALL_ACCESS_9X = 0x2003F;

class RegistryBackend;

// The five registry calls of the machine, over HKEY_LOCAL_MACHINE kept in a REGEDIT4 file
// (RegistryStore) or a real drive's SYSTEM.DAT (HiveStore). Names and data are ANSI bytes.
//
// - Only HKEY_LOCAL_MACHINE and the handles returned here are served; the other predefined
//   roots answer ERROR_FILE_NOT_FOUND, any other handle ERROR_INVALID_HANDLE.
// - Key and value names match case-insensitively (ASCII and Windows-1252 letters) and keep the
//   spelling they were created with. In key paths, trailing backslashes are ignored and doubled
//   ones count once; a leading backslash is ERROR_BAD_PATHNAME. CR, LF and NUL cannot be part of
//   a name (a REGEDIT4 file cannot hold them): ERROR_INVALID_PARAMETER.
// - Data is kept byte for byte: text stored without a terminator reads back without one, and a
//   query reports the stored byte count.
// - Opening or creating a key first looks whether another program changed the file, and reads
//   it again if so; a query answers from the registry as that look found it (readers open their
//   key right before they query). Every write looks again, under a lock shared by all processes.
// - A write that cannot be kept (damaged file, disk full, no permission) fails with
//   ERROR_ACCESS_DENIED and changes nothing.
//
// lastError() explains the last call that failed (it is not cleared by calls that succeed).
class RegistryApi {
public:
    explicit RegistryApi(QString systemRegPath); // a REGEDIT4 file, loaded lazily, reloaded when changed
    explicit RegistryApi(std::unique_ptr<RegistryBackend> store);
    ~RegistryApi();
    RegistryApi(const RegistryApi&) = delete;
    RegistryApi& operator=(const RegistryApi&) = delete;

    long RegOpenKeyExA(HKEY hKey, const QByteArray& subKey, quint32 options, quint32 samDesired,
                       HKEY* phkResult);
    long RegCreateKeyA(HKEY hKey, const QByteArray& subKey, HKEY* phkResult);
    long RegQueryValueExA(HKEY hKey, const QByteArray& valueName, quint32* lpType, quint8* lpData,
                          quint32* lpcbData);
    long RegSetValueExA(HKEY hKey, const QByteArray& valueName, quint32 reserved, quint32 dwType,
                        const quint8* lpData, quint32 cbData);
    long RegCloseKey(HKEY hKey);

    const QString& lastError() const { return m_lastError; }

    // The store behind the calls, for tests and measurements.
    RegistryBackend& store() { return *m_store; }

private:
    // A key path as the calls work it out: the base key the handle names, and the sub key.
    struct KeyPath {
        QByteArray base;    // the handle's key, case-folded ("" for HKEY_LOCAL_MACHINE)
        int baseKey = -1;   // its key in the store
        QByteArray folded;  // the sub key, normalised and case-folded
        QByteArray display; // the sub key as given, normalised (only worked out when needed)
        QByteArray full;    // base and sub key, case-folded
    };
    // ERROR_SUCCESS with the handle's key, or the answer for a handle that names no key here.
    long resolve(HKEY hKey, QByteArray& folded);
    long locate(HKEY hKey, const QByteArray& subKey, KeyPath& path);
    QByteArray spelling(const QByteArray& subKey, KeyPath& path) const;
    long fail(long code, QString reason);
    HKEY newHandle(const QByteArray& folded);
    QString keyName(const QByteArray& folded) const;

    std::unique_ptr<RegistryBackend> m_store;
    QHash<HKEY, QByteArray> m_handles; // open key -> its case-folded path
    HKEY m_nextHandle = 0x100;
    QString m_lastError;
};

} // namespace velmora
