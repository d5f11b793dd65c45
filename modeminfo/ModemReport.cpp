#include "modeminfo/ModemReport.h"

#include "config/Module2.h"
#include "core/AnsiCodePage.h"

namespace velmora {

const std::array<ModemInfoRow, kModemInfoRowCount>& modemInfoRows()
{
    static const auto rows = [] {
        const QString modem = QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\");
        const QString settingsInit = modem + QStringLiteral("Settings\\Init\\");
        const QString hangup = modem + QStringLiteral("Hangup\\");
        // Read without the trailing backslash, as the window always has.
        const QString init = modem + QStringLiteral("Init");
        return std::array<ModemInfoRow, kModemInfoRowCount>{{
            {modem, QStringLiteral("Manufacturer"), QStringLiteral("Manufacturer - ")},
            {modem, QStringLiteral("Model"), QStringLiteral("Model - ")},
            {modem, QStringLiteral("AbortPlay"), QStringLiteral("Abort Play - ")},
            {modem, QStringLiteral("CallerIDOutSide"), QStringLiteral("Caller ID Outside - ")},
            {modem, QStringLiteral("Caller ID Private"), QStringLiteral("Caller ID Private - ")},
            {modem, QStringLiteral("ConfigDialog"), QStringLiteral("Configuration Dialog - ")},
            {modem, QStringLiteral("Contention"), QStringLiteral("Contention - ")},
            {modem, QStringLiteral("DeviceType"), QStringLiteral("Device Type - ")},
            {modem, QStringLiteral("DevLoader"), QStringLiteral("Device Loader - ")},
            {modem, QStringLiteral("DriverDate"), QStringLiteral("Driver Date - ")},
            {modem, QStringLiteral("DriverDesc"), QStringLiteral("Driver Description - ")},
            {modem, QStringLiteral("Enumerator"), QStringLiteral("Enumerator - ")},
            {modem, QStringLiteral("EnumPropPages"), QStringLiteral("Enum Prop Pages - ")},
            {modem, QStringLiteral("FriendlyDriver"), QStringLiteral("Friendly Driver - ")},
            {modem, QStringLiteral("InfPath"), QStringLiteral("INF Path - ")},
            {modem, QStringLiteral("InfSection"), QStringLiteral("INF Section - ")},
            {modem, QStringLiteral("LoggingPath"), QStringLiteral("Loggin Path - ")},
            {modem, QStringLiteral("MatchingDeviceId"), QStringLiteral("Matching Device ID - ")},
            {modem, QStringLiteral("PortConfigDialog"), QStringLiteral("Port Configuration Dialog - ")},
            {modem, QStringLiteral("PortDriver"), QStringLiteral("Port Driver - ")},
            {modem, QStringLiteral("ProviderName"), QStringLiteral("Provider Name - ")},
            {modem, QStringLiteral("Reset"), QStringLiteral("Reset - ")},
            {modem, QStringLiteral("TerminatePlay"), QStringLiteral("Terminate Play- ")},
            {modem, QStringLiteral("TerminateRecord"), QStringLiteral("Terminate Record - ")},
            {modem, QStringLiteral("UserInit"), QStringLiteral("Extra Initialization Strings - ")},
            {modem, QStringLiteral("VariableTerminator"), QStringLiteral("Variable Terminator - ")},
            {settingsInit, QStringLiteral("1"), QStringLiteral("Modem Initialization String - ")},
            {hangup, QStringLiteral("1"), QStringLiteral("HangUp - ")},
            {init, QStringLiteral("1"), QStringLiteral("Initialization String 1 - ")},
            {init, QStringLiteral("2"), QStringLiteral("Initialization String 2 - ")},
        }};
    }();
    return rows;
}

QStringList modemReportLines(Module2& registryValues)
{
    QStringList lines;
    for (const ModemInfoRow& row : modemInfoRows()) {
        HKEY root = HKEY_LOCAL_MACHINE;
        QString text = QStringLiteral("Unknown");
        registryValues.ReadKeyValue(root, row.keyPath, row.valueName, text);
        lines.append(row.prefix + strRegValue);
    }
    return lines;
}

QByteArray modemReportBytes(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        bytes += toAnsi(line);
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace velmora
