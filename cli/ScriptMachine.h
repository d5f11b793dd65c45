#pragma once

#include "config/Module2.h"
#include "machine/Backups.h"
#include "machine/MachineFolder.h"
#include "profile/ProfileWriter.h"
#include "registry/Registry.h"
#include "registry/RegistryBackend.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace velmora {

struct PortEntry;

// The registry store a machine keeps HKEY_LOCAL_MACHINE in, chosen by the program's composition root.
using RegistryStoreFor = std::function<std::unique_ptr<RegistryBackend>(const MachineFolder&)>;

// A registry value as stored: its type and bytes.
struct StoredValue {
    quint32 type = 0;
    QByteArray data;
};

// The services a sub-command works through, wired as the windows get them: one backup session
// for the run, handed to the profile writer and the registry store, so that a script's change
// is backed up exactly as a click's is.
class ScriptMachine {
public:
    ScriptMachine(const MachineName& machine, const QString& backupsFolder, const RegistryStoreFor& storeFor);

    const MachineFolder& machine() const { return m_machine; }
    const BackupSession& backups() const { return m_backups; }
    ProfileWriter& profiles() { return m_profiles; }
    Module2& registryValues() { return m_module2; }

    // A value read as the windows read it: its text, or the default (strRegValue after the read).
    QString readText(const QString& keyPath, const QString& valueName, const QString& defaultText);
    // The value as stored; nothing when the key or value is missing.
    std::optional<StoredValue> stored(const QString& keyPath, const QString& valueName);
    // A key of an INI file on drive C ("c:\windows\system.ini"), found where the profile writer
    // finds it; nothing when it has none.
    std::optional<QString> iniValue(const QString& windowsPath, const QString& section, const QString& key);
    // A port's entry in win.ini, read as the main window reads it; nothing when it has none.
    std::optional<PortEntry> portEntry(const QString& portKey);
    // The reads above take a file that cannot be read (a FIFO, too large, a link leading out) or
    // a damaged registry as holding nothing; what was read is then not the machine's, and this
    // says so, naming each file and why, for the command to refuse on.
    Result<void> everythingRead();

private:
    // A file of drive C through the drive's guarded reader; nothing when it is missing or
    // cannot be read (noted for everythingRead).
    std::optional<QByteArray> driveFile(const QString& windowsPath);

    MachineFolder m_machine;
    BackupSession m_backups;
    ProfileWriter m_profiles;
    RegistryApi m_registry;
    Module2 m_module2;
    QStringList m_unread;
};

} // namespace velmora
