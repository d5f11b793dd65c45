#include "platform/Registry.h"

#include "platform/AnsiCodePage.h"
#include "platform/RegistryStore.h"

#include <cstring>

namespace velmora {
namespace {

bool isPredefinedRoot(HKEY key) { return key >= HKEY_CLASSES_ROOT && key <= HKEY_DYN_DATA; }

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

RegistryApi::RegistryApi(QString systemRegPath) : m_store(std::make_unique<RegistryStore>(std::move(systemRegPath)))
{
}

RegistryApi::~RegistryApi() = default;

long RegistryApi::fail(long code, QString reason)
{
    m_lastError = std::move(reason);
    return code;
}

RegistryApi::Resolved RegistryApi::resolve(HKEY hKey, QByteArray& folded)
{
    if (hKey == HKEY_LOCAL_MACHINE) {
        folded.clear();
        return Resolved::Key;
    }
    if (isPredefinedRoot(hKey))
        return Resolved::OtherRoot;
    const auto it = m_handles.constFind(hKey);
    if (it == m_handles.cend())
        return Resolved::BadHandle;
    folded = it.value();
    return Resolved::Key;
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

long RegistryApi::RegOpenKeyExA(HKEY hKey, const QByteArray& subKey, quint32 /*options*/, quint32 /*samDesired*/,
                                HKEY* phkResult)
{
    if (!phkResult)
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("no place was given for the key handle"));
    *phkResult = 0;
    QByteArray base;
    switch (resolve(hKey, base)) {
    case Resolved::OtherRoot:
        return fail(ERROR_FILE_NOT_FOUND, QStringLiteral("only HKEY_LOCAL_MACHINE is kept on this machine"));
    case Resolved::BadHandle:
        return fail(ERROR_INVALID_HANDLE, QStringLiteral("the key handle is not open"));
    case Resolved::Key:
        break;
    }
    if (subKey.startsWith('\\'))
        return fail(ERROR_BAD_PATHNAME, QStringLiteral("a key path cannot start with a backslash"));
    QByteArray display, folded;
    if (!regfile::foldPath(subKey, folded))
        regfile::normalisePath(subKey, display, folded);
    m_store->refresh();
    const int baseKey = m_store->findKey(base);
    if (baseKey < 0)
        return fail(ERROR_KEY_DELETED, QStringLiteral("the key has been deleted"));
    if (m_store->findKey(joinPath(base, folded)) < 0) {
        regfile::normalisePath(subKey, display, folded);
        const QString missing = keyName(joinPath(m_store->keyPath(baseKey), display));
        return fail(ERROR_FILE_NOT_FOUND, m_store->isDamaged()
                                              ? QStringLiteral("%1 cannot be read: %2").arg(missing, m_store->damage())
                                              : QStringLiteral("%1 does not exist").arg(missing));
    }
    if (folded.isEmpty() && hKey == HKEY_LOCAL_MACHINE) {
        *phkResult = HKEY_LOCAL_MACHINE;
        return ERROR_SUCCESS;
    }
    *phkResult = newHandle(joinPath(base, folded));
    return ERROR_SUCCESS;
}

long RegistryApi::RegCreateKeyA(HKEY hKey, const QByteArray& subKey, HKEY* phkResult)
{
    if (!phkResult)
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("no place was given for the key handle"));
    *phkResult = 0;
    QByteArray base;
    switch (resolve(hKey, base)) {
    case Resolved::OtherRoot:
        return fail(ERROR_FILE_NOT_FOUND, QStringLiteral("only HKEY_LOCAL_MACHINE is kept on this machine"));
    case Resolved::BadHandle:
        return fail(ERROR_INVALID_HANDLE, QStringLiteral("the key handle is not open"));
    case Resolved::Key:
        break;
    }
    if (subKey.startsWith('\\'))
        return fail(ERROR_BAD_PATHNAME, QStringLiteral("a key path cannot start with a backslash"));
    if (hasUnwritableByte(subKey))
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("a key name cannot hold a line break or a NUL"));
    QByteArray display, folded;
    regfile::normalisePath(subKey, display, folded);
    m_store->refresh();
    const int baseKey = m_store->findKey(base);
    if (baseKey < 0)
        return fail(ERROR_KEY_DELETED, QStringLiteral("the key has been deleted"));
    const QByteArray path = joinPath(base, folded);
    if (m_store->findKey(path) < 0) {
        const QByteArray full = joinPath(m_store->keyPath(baseKey), display);
        QString reason;
        if (const long code = m_store->createKey(full, reason); code != ERROR_SUCCESS)
            return fail(code, reason);
    }
    if (folded.isEmpty() && hKey == HKEY_LOCAL_MACHINE) {
        *phkResult = HKEY_LOCAL_MACHINE;
        return ERROR_SUCCESS;
    }
    *phkResult = newHandle(path);
    return ERROR_SUCCESS;
}

long RegistryApi::RegQueryValueExA(HKEY hKey, const QByteArray& valueName, quint32* lpType, quint8* lpData,
                                   quint32* lpcbData)
{
    QByteArray folded;
    switch (resolve(hKey, folded)) {
    case Resolved::OtherRoot:
        return fail(ERROR_FILE_NOT_FOUND, QStringLiteral("only HKEY_LOCAL_MACHINE is kept on this machine"));
    case Resolved::BadHandle:
        return fail(ERROR_INVALID_HANDLE, QStringLiteral("the key handle is not open"));
    case Resolved::Key:
        break;
    }
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
        return fail(ERROR_MORE_DATA, QStringLiteral("the value \"%1\" holds %2 bytes, more than the buffer takes")
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
    switch (resolve(hKey, folded)) {
    case Resolved::OtherRoot:
        return fail(ERROR_FILE_NOT_FOUND, QStringLiteral("only HKEY_LOCAL_MACHINE is kept on this machine"));
    case Resolved::BadHandle:
        return fail(ERROR_INVALID_HANDLE, QStringLiteral("the key handle is not open"));
    case Resolved::Key:
        break;
    }
    if (!lpData && cbData)
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("no data was given"));
    if (hasUnwritableByte(valueName))
        return fail(ERROR_INVALID_PARAMETER, QStringLiteral("a value name cannot hold a line break or a NUL"));
    QString reason;
    const QByteArrayView data(reinterpret_cast<const char*>(lpData), cbData);
    if (const long code = m_store->setValue(folded, valueName, dwType, data, reason); code != ERROR_SUCCESS)
        return fail(code, reason);
    return ERROR_SUCCESS;
}

long RegistryApi::RegCloseKey(HKEY hKey)
{
    if (isPredefinedRoot(hKey) || m_handles.remove(hKey))
        return ERROR_SUCCESS;
    return fail(ERROR_INVALID_HANDLE, QStringLiteral("the key handle is not open"));
}

} // namespace velmora
