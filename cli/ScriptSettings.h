#pragma once

#include "core/Result.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>

namespace velmora {

class ScriptMachine;

// The settings a script shows and sets by name, each standing for what one window shows and
// what one of its buttons writes.
enum class SettingKind {
    Port,          // com1..com4: the port's entry in win.ini [Ports]
    MaxInstances,  // MaxInstance
    DialUpMtu,     // IPMTU
    AolMtu,        // America Online's mtu (fixed sizes)
    AolTypedMtu,   // America Online's mtu under the key a typed size goes to (shown only)
    ModemAtC0,     // "AT%C0" as the modem's initialisation value 2
    AdapterSwitch, // SLOWNET, IPXHeaderCompression, PointToPointIP
    PortBuffer,    // comN-buffer: ComNBuffer in system.ini [386Enh]
    PortIrq,       // comN-irq: ComNIrq beside it
    FifoTx,        // TxFIFO
    FifoRx,        // RxFIFO
};

struct Setting {
    QString name;
    QString group; // the window's frame it belongs to
    SettingKind kind;
    int index; // the port number, or the adapter switch's row
    bool settable;
};

// Every setting, in the order `show` lists them.
const QList<Setting>& scriptSettings();
const Setting* findSetting(const QString& name);

// What a setting holds now, as a script reads and sets it; nothing when it is not set.
std::optional<QString> currentValue(ScriptMachine& machine, const Setting& setting);

// Where a setting lives: "c:\windows\win.ini [Ports] COM2:" or "HKEY_LOCAL_MACHINE\...\IPMTU".
QString settingPlace(const Setting& setting);

// One value a change writes: an INI key (file, section, name) or a registry value under
// HKEY_LOCAL_MACHINE (keyPath, name, type).
struct PlannedWrite {
    QString setting;
    QString file; // a Windows path; empty for a registry value
    QString section;
    QString keyPath;
    QString name;
    qint32 type = 1;
    QVariant value;
    QString oldText; // what it holds before, as `set` prints it
};

// "c:\windows\win.ini [Ports] COM2:" or "HKEY_LOCAL_MACHINE\System\...\IPMTU".
QString writeTarget(const PlannedWrite& write);
// The new contents, as `set` prints them.
QString newText(const PlannedWrite& write);

// The writes the requested settings make, every value checked by the decision of the window
// that sets it, all before anything is written; or the refusals, one per setting refused, each
// naming the setting.
Result<QList<PlannedWrite>> planWrites(ScriptMachine& machine,
                                       const QList<std::pair<const Setting*, QString>>& requests);

// Carries one write out through the windows' own write call; a failure names the file or value
// and the reason.
Result<void> carryOut(ScriptMachine& machine, const PlannedWrite& write);

} // namespace velmora
