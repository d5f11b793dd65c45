#include "cli/ScriptSettings.h"

#include "buffers/FifoSizes.h"
#include "buffers/PortBuffer.h"
#include "cli/ScriptMachine.h"
#include "config/IniHelpers.h"
#include "config/QueriedValue.h"
#include "core/AnsiCodePage.h"
#include "files/HostFile.h"
#include "ports/PortEntry.h"
#include "profile/ProfileWriter.h"
#include "tweaks/ModemTweaks.h"
#include "tweaks/MtuChoice.h"
#include "ui/RegistryAccess.h"

#include <QHash>
#include <QStringList>

namespace velmora {
namespace {

const QString kAolKey = QStringLiteral("Software\\America Online\\AOL\\aolsock\\");
const QString kAolTypedKey = QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\");
const QString kUnknown = QStringLiteral("Unknown");

QString portKey(int port)
{
    return QStringLiteral("COM%1:").arg(port);
}

QString hexText(const QByteArray& data)
{
    QStringList bytes;
    for (const char byte : data)
        bytes.append(QStringLiteral("%1").arg(uchar(byte), 2, 16, QLatin1Char('0')));
    return QStringLiteral("hex:") + bytes.join(QLatin1Char(','));
}

// A stored value's contents as `set` prints them: a text in quotes, a number, or its bytes.
QString describe(const std::optional<StoredValue>& value)
{
    if (!value)
        return QStringLiteral("not set");
    if (value->type == REG_DWORD || value->type == REG_SZ)
        if (const std::optional<QString> text = queriedValueText(value->type, value->data))
            return value->type == REG_SZ ? QLatin1Char('"') + *text + QLatin1Char('"')
                                         : *text + QStringLiteral(" (number)");
    return value->type == REG_BINARY
               ? hexText(value->data)
               : QStringLiteral("type %1, %2").arg(value->type).arg(hexText(value->data));
}

// A text or number value's text; nothing when it is missing or of another type.
std::optional<QString> storedText(ScriptMachine& machine, const QString& keyPath, const QString& valueName)
{
    const std::optional<StoredValue> value = machine.stored(keyPath, valueName);
    return value ? queriedValueText(value->type, value->data) : std::nullopt;
}

// An on/off flag as stored: "on" or "off" when it holds what switching it writes, else what it holds.
std::optional<QString> switchState(ScriptMachine& machine, int row)
{
    const AdapterSwitch& s = adapterSwitches()[row];
    const std::optional<StoredValue> value = machine.stored(kDialUpAdapterKey, s.valueName);
    if (!value)
        return std::nullopt;
    const QString text = value->type == REG_BINARY
                             ? fromAnsi(value->data)
                             : queriedValueText(value->type, value->data).value_or(QString());
    if (value->type == quint32(s.type) && text == s.onData)
        return QStringLiteral("on");
    if (value->type == quint32(s.type) && text == s.offData)
        return QStringLiteral("off");
    return describe(value);
}

std::optional<QString> fifoShown(ScriptMachine& machine, const QString& valueName)
{
    const std::optional<QString> text = storedText(machine, kSerialFifoKey, valueName);
    if (!text)
        return std::nullopt;
    return fifoListTextForStoredText(*text).value_or(*text);
}

QString bufferKey(int port, SettingKind kind)
{
    return QStringLiteral("Com%1%2").arg(port).arg(kind == SettingKind::PortBuffer ? "Buffer" : "Irq");
}

PlannedWrite registryWrite(ScriptMachine& machine, const QString& setting, const MtuWrite& write)
{
    return {
        setting,         {},         {},          write.keyPath,
        write.valueName, write.type, write.value, describe(machine.stored(write.keyPath, write.valueName))};
}

PlannedWrite iniWrite(ScriptMachine& machine, const QString& setting, const QString& file,
                      const QString& section, const QString& key, const QString& value)
{
    return {setting, file, section, {},
            key,     1,    value,   machine.iniValue(file, section, key).value_or(QStringLiteral("not set"))};
}

// Plans one request; the pairs a window sets together (a port's buffer and IRQ, the two FIFO
// sizes) take the other half from the same call when it is there, else from what is stored,
// as the window's boxes would show it.
class Planner {
public:
    Planner(ScriptMachine& machine, const QList<std::pair<const Setting*, QString>>& requests)
        : m_machine(machine)
    {
        for (const auto& [setting, value] : requests)
            m_requested.insert(setting->name, value);
    }

    Result<QList<PlannedWrite>> plan(const Setting& s, const QString& value)
    {
        switch (s.kind) {
        case SettingKind::Port: {
            const Result<PortEntry> entry = portEntryFromStoredText(value);
            if (!entry)
                return failure(entry.reason());
            return one(iniWrite(m_machine, s.name, kWinIniPath, kPortsSection, portKey(s.index),
                                joinPortEntry(*entry)));
        }
        case SettingKind::MaxInstances:
            return one(registryWrite(m_machine, s.name, maxInstanceWrite(value)));
        case SettingKind::DialUpMtu:
            return one(registryWrite(m_machine, s.name, dialUpMtuWrite(mtuOption(value), value)));
        case SettingKind::AolMtu: {
            const std::optional<MtuWrite> write = aolMtuWrite(mtuOption(value), value);
            if (!write)
                return failure(QStringLiteral("Please enter a valid MTU packet size!"));
            return one(registryWrite(m_machine, s.name, *write));
        }
        case SettingKind::AdapterSwitch: {
            const std::optional<bool> on = onOff(value);
            if (!on)
                return failure(QStringLiteral("takes on or off"));
            return one(registryWrite(m_machine, s.name, adapterSwitchWrite(s.index, *on)));
        }
        case SettingKind::ModemAtC0:
            return planModemAtC0(s, value);
        case SettingKind::PortBuffer:
        case SettingKind::PortIrq:
            return planPortBuffer(s.index);
        case SettingKind::FifoTx:
        case SettingKind::FifoRx:
            if (const Result<QString> own = fifoListText(value); !own)
                return failure(own.reason());
            return planFifo();
        case SettingKind::AolTypedMtu:
            break;
        }
        return failure(QStringLiteral("cannot be set: aol-mtu writes it for a size of its own"));
    }

private:
    static Result<QList<PlannedWrite>> one(const PlannedWrite& write) { return QList<PlannedWrite>{write}; }

    // "auto" is "Auto Detect"; a fixed size is its option, any other text is typed into "Other".
    static int mtuOption(const QString& value)
    {
        return value == QLatin1String("auto") ? 0 : mtuOptionForStoredText(value);
    }
    // A size as a list text ("4MB") or the number stored for it ("4098").
    static Result<QString> fifoListText(const QString& value)
    {
        if (fifoListTexts().contains(value))
            return value;
        if (const std::optional<QString> text = fifoListTextForStoredText(value))
            return *text;
        return failure(QStringLiteral("\"%1\" is none of the sizes %2")
                           .arg(value, fifoListTexts().join(QStringLiteral(", "))));
    }
    static std::optional<bool> onOff(const QString& value)
    {
        if (value == QLatin1String("on"))
            return true;
        if (value == QLatin1String("off"))
            return false;
        return std::nullopt;
    }

    Result<QList<PlannedWrite>> planModemAtC0(const Setting& s, const QString& value)
    {
        if (value != QLatin1String("on"))
            return failure(QStringLiteral("takes only on: the modem settings put %1 in and never take it out")
                               .arg(kFasterDialUpCommand));
        const QString read = m_machine.readText(kModemInitKey, kModemInitValue, kUnknown);
        if (const std::optional<MtuWrite> write = fasterDialUpWrite(read))
            return one(registryWrite(m_machine, s.name, *write));
        if (read == kFasterDialUpCommand)
            return QList<PlannedWrite>{}; // already in place
        return failure(QStringLiteral("%1 already holds \"%2\", an initialisation of the modem's own; it is "
                                      "left as it is")
                           .arg(registryValueFullName(kModemInitKey, kModemInitValue), read));
    }

    Result<QList<PlannedWrite>> planPortBuffer(int port)
    {
        if (m_pairsPlanned.contains(port))
            return QList<PlannedWrite>{};
        m_pairsPlanned.append(port);
        const auto text = [&](SettingKind kind, const char* suffix) {
            const QString name = QStringLiteral("com%1-%2").arg(port).arg(suffix);
            return m_requested.contains(name)
                       ? m_requested.value(name)
                       : m_machine.iniValue(kSystemIniPath, kPortBufferSection, bufferKey(port, kind))
                             .value_or(QString());
        };
        const QString number = QString::number(port);
        const QString irq = text(SettingKind::PortIrq, "irq"),
                      buffer = text(SettingKind::PortBuffer, "buffer");
        if (const std::optional<QString> refusal = portBufferRefusal(number, irq, buffer))
            return failure(*refusal +
                           QStringLiteral(" (system.ini has none for COM%1: give com%1-irq and com%1-buffer "
                                          "together)")
                               .arg(port));
        QList<PlannedWrite> writes;
        for (const IniEntry& entry : portBufferEntries(number, irq, buffer))
            writes.append(iniWrite(m_machine,
                                   QStringLiteral("com%1-%2")
                                       .arg(port)
                                       .arg(entry.name.endsWith(QLatin1String("Irq")) ? "irq" : "buffer"),
                                   kSystemIniPath, kPortBufferSection, entry.name, entry.value));
        return writes;
    }

    Result<QList<PlannedWrite>> planFifo()
    {
        if (m_fifoPlanned)
            return QList<PlannedWrite>{};
        m_fifoPlanned = true;
        // A requested size was checked when it was planned; the other list shows what is stored,
        // or no pick, and then the window refuses, as this does, saying what is stored.
        QStringList offTheList;
        bool refusedOnItsOwn = false; // a requested size off the list, refused when it is planned
        const auto listText = [&](const char* name, const QString& valueName) {
            const QString setting = QString::fromLatin1(name);
            if (m_requested.contains(setting)) {
                const Result<QString> text = fifoListText(m_requested.value(setting));
                refusedOnItsOwn = refusedOnItsOwn || !text;
                return text ? *text : QString();
            }
            const QString stored = m_machine.readText(kSerialFifoKey, valueName, QString());
            const std::optional<QString> text = fifoListTextForStoredText(stored);
            if (!text)
                offTheList.append(
                    (stored.isEmpty()
                         ? QStringLiteral("%1 is not set").arg(valueName)
                         : QStringLiteral("%1 holds %2, none of the sizes").arg(valueName, stored)) +
                    QStringLiteral(": give %1 too").arg(setting));
            return text.value_or(kFifoNoPickText);
        };
        const std::optional<QList<FifoWrite>> writes = fifoWrites(
            listText("fifo-tx", QStringLiteral("TxFIFO")), listText("fifo-rx", QStringLiteral("RxFIFO")));
        if (refusedOnItsOwn)
            return QList<PlannedWrite>{};
        if (!writes)
            return failure(QStringLiteral("You Must Select a Buffer Size!") +
                           (offTheList.isEmpty()
                                ? QString()
                                : QStringLiteral(" (%1)").arg(offTheList.join(QStringLiteral("; ")))));
        QList<PlannedWrite> planned;
        for (const FifoWrite& write : *writes)
            planned.append(registryWrite(m_machine,
                                         write.valueName == QLatin1String("TxFIFO")
                                             ? QStringLiteral("fifo-tx")
                                             : QStringLiteral("fifo-rx"),
                                         MtuWrite{write.keyPath, write.valueName, REG_DWORD, write.size}));
        return planned;
    }

    ScriptMachine& m_machine;
    QHash<QString, QString> m_requested;
    QList<int> m_pairsPlanned;
    bool m_fifoPlanned = false;
};

} // namespace

const QList<Setting>& scriptSettings()
{
    static const QList<Setting> settings = [] {
        const QString ports = QStringLiteral("Standard Com Settings"),
                      modem = QStringLiteral("Modem Settings"), tweaks = QStringLiteral("Modem Tweaks"),
                      buffers = QStringLiteral("Buffer Settings");
        QList<Setting> list;
        for (int port = 1; port <= 4; ++port)
            list.append({QStringLiteral("com%1").arg(port), ports, SettingKind::Port, port, true});
        list.append({QStringLiteral("max-instances"), modem, SettingKind::MaxInstances, 0, true});
        list.append({QStringLiteral("mtu"), modem, SettingKind::DialUpMtu, 0, true});
        list.append({QStringLiteral("aol-mtu"), modem, SettingKind::AolMtu, 0, true});
        list.append({QStringLiteral("aol-mtu-typed"), modem, SettingKind::AolTypedMtu, 0, false});
        list.append({QStringLiteral("modem-at-c0"), tweaks, SettingKind::ModemAtC0, 0, true});
        const char* switches[kAdapterSwitchCount] = {"slownet", "ipx-header-compression",
                                                     "point-to-point-ip"};
        for (int row = 0; row < kAdapterSwitchCount; ++row)
            list.append({QString::fromLatin1(switches[row]), tweaks, SettingKind::AdapterSwitch, row, true});
        for (int port = 1; port <= 4; ++port) {
            list.append(
                {QStringLiteral("com%1-buffer").arg(port), buffers, SettingKind::PortBuffer, port, true});
            list.append({QStringLiteral("com%1-irq").arg(port), buffers, SettingKind::PortIrq, port, true});
        }
        list.append({QStringLiteral("fifo-tx"), buffers, SettingKind::FifoTx, 0, true});
        list.append({QStringLiteral("fifo-rx"), buffers, SettingKind::FifoRx, 0, true});
        return list;
    }();
    return settings;
}

const Setting* findSetting(const QString& name)
{
    for (const Setting& setting : scriptSettings())
        if (setting.name == name)
            return &setting;
    return nullptr;
}

std::optional<QString> currentValue(ScriptMachine& machine, const Setting& s)
{
    switch (s.kind) {
    case SettingKind::Port: {
        const std::optional<PortEntry> entry = machine.portEntry(portKey(s.index));
        return entry ? std::optional(joinPortEntry(*entry)) : std::nullopt;
    }
    case SettingKind::MaxInstances:
        return storedText(machine, kMaxInstanceKey, QStringLiteral("MaxInstance"));
    case SettingKind::DialUpMtu:
        return storedText(machine, kDialUpAdapterKey, QStringLiteral("IPMTU"));
    case SettingKind::AolMtu:
        return storedText(machine, kAolKey, QStringLiteral("mtu"));
    case SettingKind::AolTypedMtu:
        return storedText(machine, kAolTypedKey, QStringLiteral("mtu"));
    case SettingKind::ModemAtC0:
        return machine.readText(kModemInitKey, kModemInitValue, kUnknown) == kFasterDialUpCommand
                   ? QStringLiteral("on")
                   : QStringLiteral("off");
    case SettingKind::AdapterSwitch:
        return switchState(machine, s.index);
    case SettingKind::PortBuffer:
    case SettingKind::PortIrq:
        return machine.iniValue(kSystemIniPath, kPortBufferSection, bufferKey(s.index, s.kind));
    case SettingKind::FifoTx:
        return fifoShown(machine, QStringLiteral("TxFIFO"));
    case SettingKind::FifoRx:
        return fifoShown(machine, QStringLiteral("RxFIFO"));
    }
    return std::nullopt;
}

QString settingPlace(const Setting& s)
{
    const auto ini = [](const QString& file, const QString& section, const QString& key) {
        return QStringLiteral("%1 [%2] %3").arg(file, section, key);
    };
    switch (s.kind) {
    case SettingKind::Port:
        return ini(kWinIniPath, kPortsSection, portKey(s.index));
    case SettingKind::MaxInstances:
        return registryValueFullName(kMaxInstanceKey, QStringLiteral("MaxInstance"));
    case SettingKind::DialUpMtu:
        return registryValueFullName(kDialUpAdapterKey, QStringLiteral("IPMTU"));
    case SettingKind::AolMtu:
        return registryValueFullName(kAolKey, QStringLiteral("mtu"));
    case SettingKind::AolTypedMtu:
        return registryValueFullName(kAolTypedKey, QStringLiteral("mtu"));
    case SettingKind::ModemAtC0:
        return registryValueFullName(kModemInitKey, kModemInitValue);
    case SettingKind::AdapterSwitch:
        return registryValueFullName(kDialUpAdapterKey, adapterSwitches()[s.index].valueName);
    case SettingKind::PortBuffer:
    case SettingKind::PortIrq:
        return ini(kSystemIniPath, kPortBufferSection, bufferKey(s.index, s.kind));
    case SettingKind::FifoTx:
        return registryValueFullName(kSerialFifoKey, QStringLiteral("TxFIFO"));
    case SettingKind::FifoRx:
        return registryValueFullName(kSerialFifoKey, QStringLiteral("RxFIFO"));
    }
    return {};
}

QString writeTarget(const PlannedWrite& write)
{
    if (write.file.isEmpty())
        return registryValueFullName(write.keyPath, write.name);
    return QStringLiteral("%1 [%2] %3").arg(write.file, write.section, write.name);
}

QString newText(const PlannedWrite& write)
{
    if (!write.file.isEmpty())
        return write.value.toString();
    if (write.type == REG_SZ)
        return QLatin1Char('"') + write.value.toString() + QLatin1Char('"');
    if (write.type == REG_DWORD)
        return QStringLiteral("%1 (number)").arg(quint32(write.value.toInt()));
    return hexText(toAnsi(write.value.toString()));
}

// Why a value cannot be stored as given; nothing when it can. The write itself would refuse a
// line break or control character in an INI line, which would split it; a REGEDIT4 entry would
// be split as well, and a character outside the ANSI code page would be stored as "?".
std::optional<QString> unstorable(const PlannedWrite& write)
{
    const QString value = write.value.toString();
    if (!write.file.isEmpty()) {
        const Result<void> entry =
            checkProfileEntry(toAnsi(write.section), toAnsi(write.name), toAnsi(value));
        if (!entry)
            return entry.reason();
    }
    for (const QChar c : value)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return QStringLiteral("the value holds a line break or control character");
    if (!isAnsiRepresentable(value))
        return QStringLiteral("the value holds characters Windows stores only as \"?\"");
    return std::nullopt;
}

Result<QList<PlannedWrite>> planWrites(ScriptMachine& machine,
                                       const QList<std::pair<const Setting*, QString>>& requests)
{
    Planner planner(machine, requests);
    QList<PlannedWrite> writes;
    QStringList refusals;
    const auto refuse = [&](const QString& setting, const QString& value, const QString& place,
                            const QString& why) {
        refusals.append(shownInMessage(QStringLiteral("%1 %2 (%3): %4").arg(setting, value, place, why)));
    };
    for (const auto& [setting, value] : requests) {
        const Result<QList<PlannedWrite>> planned = planner.plan(*setting, value);
        if (!planned) {
            refuse(setting->name, value, settingPlace(*setting), planned.reason());
            continue;
        }
        for (const PlannedWrite& write : *planned) {
            if (const std::optional<QString> why = unstorable(write))
                refuse(write.setting, write.value.toString(), writeTarget(write), *why);
        }
        writes += *planned;
    }
    if (!refusals.isEmpty())
        return failure(refusals.join(QLatin1Char('\n')));
    return writes;
}

Result<void> carryOut(ScriptMachine& machine, const PlannedWrite& write)
{
    if (!write.file.isEmpty()) {
        if (mfncWriteIni(machine.profiles(), write.section, write.name, write.value.toString(), write.file) ==
            0)
            return failure(QStringLiteral("%1: %2").arg(writeTarget(write), machine.profiles().lastError()));
        return {};
    }
    HKEY root = HKEY_LOCAL_MACHINE;
    qint32 type = write.type;
    QVariant value = write.value;
    if (!machine.registryValues().WriteKeyValue(root, write.keyPath, type, write.name, value))
        return failure(
            QStringLiteral("%1: %2").arg(writeTarget(write), machine.registryValues().lastError()));
    return {};
}

} // namespace velmora
