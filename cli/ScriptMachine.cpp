#include "cli/ScriptMachine.h"

#include "core/AnsiCodePage.h"
#include "ports/PortEntry.h"
#include "profile/SequentialInput.h"

#include <QFile>

namespace velmora {
namespace {

QByteArray folded(QByteArrayView name)
{
    return name.trimmed().toByteArray().toLower();
}

// The value of a key in an INI file's text: "[section]" lines open sections, "key=value" lines
// hold keys; the first section and first key whose names match (without case, blanks around
// them dropped) win, as they do for the profile writer.
std::optional<QByteArray> profileValue(const QByteArray& text, QByteArrayView section, QByteArrayView key)
{
    const QByteArray wantedSection = folded(section), wantedKey = folded(key);
    bool inSection = false, sectionSeen = false;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (trimmed.startsWith('[')) {
            if (inSection)
                return std::nullopt; // only the first matching section counts
            const qsizetype close = trimmed.indexOf(']');
            inSection = close > 0 && folded(trimmed.sliced(1, close - 1)) == wantedSection && !sectionSeen;
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inSection && equals > 0 && !trimmed.startsWith(';') && folded(line.first(equals)) == wantedKey)
            return line.sliced(equals + 1);
    }
    return std::nullopt;
}

} // namespace

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

std::optional<QString> ScriptMachine::iniValue(const QString& windowsPath, const QString& section,
                                               const QString& key)
{
    const Result<QString> path = m_machine.hostPath(windowsPath);
    QFile file(path ? *path : QString());
    if (!path || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const std::optional<QByteArray> value = profileValue(file.readAll(), toAnsi(section), toAnsi(key));
    return value ? std::optional(fromAnsi(*value)) : std::nullopt;
}

std::optional<PortEntry> ScriptMachine::portEntry(const QString& portKey)
{
    Result<SequentialInput> input = SequentialInput::open(m_machine, kWinIniPath);
    if (!input)
        return std::nullopt;
    const PortEntry entry = readPortEntry(*input, portKey, {});
    return entry == PortEntry{} ? std::nullopt : std::optional(entry);
}

} // namespace velmora
