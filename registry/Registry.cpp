#include "registry/Registry.h"

#include "core/AnsiCodePage.h"
#include "registry/RegistryStore.h"

#include <cstring>

namespace velmora {
namespace {

bool isPredefinedRoot(HKEY key)
{
    return key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA;
}

// A REGEDIT4 file has no way to write these inside a name.
bool hasUnwritableByte(QByteArrayView name)
{
    return name.contains('\0') || name.contains('\r') || name.contains('\n');
}

QByteArray joinPath(const QByteArray& base, const QByteArray& sub)
{
    if (base.isEmpty())
        return sub;
    if (sub.isEmpty())
        return base;
    return base + '\\' + sub;
}

} // namespace

RegistryApi::RegistryApi(QString systemRegPath)
    : m_store(std::make_unique<RegistryStore>(std::move(systemRegPath)))
{
}

RegistryApi::RegistryApi(std::unique_ptr<RegistryBackend> store) : m_store(std::move(store)) {}

RegistryApi::~RegistryApi() = default;

long RegistryApi::fail(long code, QString reason)
{
    m_lastError = std::move(reason);
    return code;
}

long RegistryApi::resolve(HKEY hKey, QByteArray& folded)
{
    if (hKey == HKEY_LOCAL_MACHINE) {
        folded.clear();
        return ERROR_SUCCESS;
    }
    if (isPredefinedRoot(hKey))
        return fail(ERROR_FILE_NOT_FOUND, QStringLiteral("only HKEY_LOCAL_MACHINE is kept on this machine"));
    const auto it = m_handles.constFind(hKey);
    if (it == m_handles.cend())
        return fail(ERROR_INVALID_HANDLE, QStringLiteral("the key handle is not open"));
    folded = it.value();
    return ERROR_SUCCESS;
}

long RegistryApi::locate(HKEY hKey, const QByteArray& subKey, KeyPath& path)
{
    if (const long r = resolve(hKey, path.base); r != ERROR_SUCCESS)
        return r;
    if (subKey.startsWith('\\'))
        return fail(ERROR_BAD_PATHNAME, QStringLiteral("a key path cannot start with a backslash"));
    if (!regfile::foldPath(subKey, path.folded))
        regfile::normalisePath(subKey, path.display, path.folded);
    m_store->refresh();
    path.baseKey = m_store->findKey(path.base);
    if (path.baseKey < 0)
        return fail(ERROR_KEY_DELETED, QStringLiteral("the key has been deleted"));
    path.full = joinPath(path.base, path.folded);
    return ERROR_SUCCESS;
}

// The spelling the caller gave, below the base key as the registry spells it.
QByteArray RegistryApi::spelling(const QByteArray& subKey, KeyPath& path) const
{
    regfile::normalisePath(subKey, path.display, path.folded);
    return joinPath(m_store->keyPath(path.baseKey), path.display);
}

HKEY RegistryApi::newHandle(const QByteArray& folded)
{
    HKEY handle;
    do {
        handle = m_nextHandle++;
        if (m_nextHandle >= HKEY_CLASSES_ROOT)
            m_nextHandle = 0x100;
    } while (m_handles.contains(handle));
    m_handles.insert(handle, folded);
    return handle;
}

QString RegistryApi::keyName(const QByteArray& path) const
{
    return path.isEmpty() ? QStringLiteral("HKEY_LOCAL_MACHINE")
                          : QStringLiteral("HKEY_LOCAL_MACHINE\\") + fromAnsi(path);
}

long RegistryApi::RegOpenKeyExA(HKEY hKey, const QByteArray& subKey, quint32 /*options*/,
                                quint32 /*samDesired*/, HKEY* phkResult)
{
    if (!phkResult)
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("no place was given for the key handle"));
    *phkResult = 0;
    KeyPath path;
    if (const long r = locate(hKey, subKey, path); r != ERROR_SUCCESS)
        return r;
    if (m_store->findKey(path.full) < 0) {
        const QString missing = keyName(spelling(subKey, path));
        return fail(ERROR_FILE_NOT_FOUND,
                    m_store->isDamaged()
                        ? QStringLiteral("%1 cannot be read: %2").arg(missing, m_store->damage())
                        : QStringLiteral("%1 does not exist").arg(missing));
    }
    *phkResult =
        path.full.isEmpty() && hKey == HKEY_LOCAL_MACHINE ? HKEY_LOCAL_MACHINE : newHandle(path.full);
    return ERROR_SUCCESS;
}

long RegistryApi::RegCreateKeyA(HKEY hKey, const QByteArray& subKey, HKEY* phkResult)
{
    if (!phkResult)
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("no place was given for the key handle"));
    *phkResult = 0;
    if (hasUnwritableByte(subKey))
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("a key name cannot hold a line break or a NUL"));
    KeyPath path;
    if (const long r = locate(hKey, subKey, path); r != ERROR_SUCCESS)
        return r;
    if (m_store->findKey(path.full) < 0) {
        if (const Result<void> created = m_store->createKey(spelling(subKey, path)); !created)
            return fail(ERROR_ACCESS_DENIED, created.reason());
    }
    *phkResult =
        path.full.isEmpty() && hKey == HKEY_LOCAL_MACHINE ? HKEY_LOCAL_MACHINE : newHandle(path.full);
    return ERROR_SUCCESS;
}

long RegistryApi::RegQueryValueExA(HKEY hKey, const QByteArray& valueName, quint32* lpType, quint8* lpData,
                                   quint32* lpcbData)
{
    QByteArray folded;
    if (const long r = resolve(hKey, folded); r != ERROR_SUCCESS)
        return r;
    if (lpData && !lpcbData)
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("a buffer was given without its size"));
    // The registry as the last open or create found it: every reader opens its key first.
    const int key = m_store->findKey(folded);
    if (key < 0)
        return fail(ERROR_KEY_DELETED, QStringLiteral("the key has been deleted"));
    quint32 type = 0;
    QByteArray data;
    if (!m_store->readValue(key, valueName, type, data)) {
        if (lpcbData)
            *lpcbData = 0;
        return fail(ERROR_FILE_NOT_FOUND, QStringLiteral("%1 has no value \"%2\"")
                                              .arg(keyName(m_store->keyPath(key)), fromAnsi(valueName)));
    }
    if (lpType)
        *lpType = type;
    const auto size = quint32(data.size());
    if (!lpData) {
        if (lpcbData)
            *lpcbData = size;
        return ERROR_SUCCESS;
    }
    if (*lpcbData < size) {
        *lpcbData = size;
        return fail(ERROR_MORE_DATA,
                    QStringLiteral("the value \"%1\" holds %2 bytes, more than the buffer takes")
                        .arg(fromAnsi(valueName))
                        .arg(size));
    }
    if (size)
        std::memcpy(lpData, data.constData(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

long RegistryApi::RegSetValueExA(HKEY hKey, const QByteArray& valueName, quint32 /*reserved*/, quint32 dwType,
                                 const quint8* lpData, quint32 cbData)
{
    QByteArray folded;
    if (const long r = resolve(hKey, folded); r != ERROR_SUCCESS)
        return r;
    if (!lpData && cbData)
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("no data was given"));
    if (hasUnwritableByte(valueName))
        return fail(ERROR_INVALID_PARAMETER,
                    QStringLiteral("a value name cannot hold a line break or a NUL"));
    const QByteArrayView data(reinterpret_cast<const char*>(lpData), cbData);
    const Result<Written> written = m_store->setValue(folded, valueName, dwType, data);
    if (!written)
        return fail(ERROR_ACCESS_DENIED, written.reason());
    if (*written == Written::KeyGone)
        return fail(ERROR_KEY_DELETED, QStringLiteral("the key has been deleted"));
    return ERROR_SUCCESS;
}

long RegistryApi::RegCloseKey(HKEY hKey)
{
    if (isPredefinedRoot(hKey) || m_handles.remove(hKey))
        return ERROR_SUCCESS;
    return fail(ERROR_INVALID_HANDLE, QStringLiteral("the key handle is not open"));
}

} // namespace velmora
