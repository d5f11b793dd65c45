#include "cli/ScriptMachine.h"

#include "core/AnsiCodePage.h"
#include "files/Drive.h"
#include "files/HostFile.h"
#include "ports/PortEntry.h"
#include "profile/SequentialInput.h"

namespace velmora {

ScriptMachine::ScriptMachine(const MachineName& machine, const QString& backupsFolder,
                             const RegistryStoreFor& storeFor)
    : m_machine(machine), m_backups(backupsFolder, machine.root),
      m_profiles(m_machine, backupsOf(m_machine, m_backups)), m_registry(storeFor(m_machine)),
      m_module2(m_registry)
{
    m_registry.store().setBackups(backupsOf(m_machine, m_backups));
}

QString ScriptMachine::readText(const QString& keyPath, const QString& valueName, const QString& defaultText)
{
    HKEY root = HKEY_LOCAL_MACHINE;
    QString text = defaultText;
    m_module2.ReadKeyValue(root, keyPath, valueName, text);
    return strRegValue;
}

std::optional<StoredValue> ScriptMachine::stored(const QString& keyPath, const QString& valueName)
{
    HKEY key = 0;
    if (m_registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, toAnsi(keyPath), 0, KEY_ALL_ACCESS_9X, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    StoredValue value;
    quint32 size = 0;
    long status = m_registry.RegQueryValueExA(key, toAnsi(valueName), &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = m_registry.RegQueryValueExA(key, toAnsi(valueName), &value.type,
                                             reinterpret_cast<quint8*>(value.data.data()), &size);
        value.data.truncate(size);
    }
    m_registry.RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::optional(value) : std::nullopt;
}

std::optional<QByteArray> ScriptMachine::driveFile(const QString& windowsPath)
{
    const Result<QString> host = m_machine.hostPath(windowsPath);
    Result<Found<QByteArray>> bytes = host ? m_machine.drive().readIfPresent(*host, kHostFileLimit)
                                           : Result<Found<QByteArray>>(failure(host.reason()));
    if (!bytes) {
        const QString unread = QStringLiteral("%1 cannot be read: %2").arg(windowsPath, bytes.reason());
        if (!m_unread.contains(unread))
            m_unread.append(unread);
        return std::nullopt;
    }
    return bytes->isPresent() ? std::optional(std::move(bytes->value)) : std::nullopt;
}

std::optional<QString> ScriptMachine::iniValue(const QString& windowsPath, const QString& section,
                                               const QString& key)
{
    const std::optional<QByteArray> text = driveFile(windowsPath);
    const std::optional<QByteArray> value =
        text ? profileValue(*text, toAnsi(section), toAnsi(key)) : std::nullopt;
    return value ? std::optional(fromAnsi(*value)) : std::nullopt;
}

std::optional<PortEntry> ScriptMachine::portEntry(const QString& portKey)
{
    std::optional<QByteArray> text = driveFile(kWinIniPath);
    if (!text)
        return std::nullopt;
    SequentialInput input(std::move(*text));
    const PortEntry entry = readPortEntry(input, portKey, {});
    return entry == PortEntry{} ? std::nullopt : std::optional(entry);
}

Result<void> ScriptMachine::everythingRead()
{
    QStringList unread = m_unread;
    const RegistryBackend& registry = m_registry.store();
    if (registry.isDamaged())
        unread.prepend(
            QStringLiteral("the registry %1 cannot be read: %2").arg(registry.filePath(), registry.damage()));
    if (unread.isEmpty())
        return {};
    for (QString& line : unread)
        line = shownInMessage(line);
    return failure(unread.join(QLatin1Char('\n')));
}

} // namespace velmora
