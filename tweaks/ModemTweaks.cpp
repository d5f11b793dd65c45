#include "tweaks/ModemTweaks.h"

#include "ui/RegistryAccess.h"

namespace velmora {
namespace {

constexpr qint32 kText = 1, kBinary = 3;
const QString kUnknown = QStringLiteral("Unknown");

} // namespace

const std::array<AdapterSwitch, kAdapterSwitchCount>& adapterSwitches()
{
    static const std::array<AdapterSwitch, kAdapterSwitchCount> switches{{
        {QStringLiteral("SLOWNET"), kBinary, QStringLiteral("01"), QStringLiteral("00")},
        {QStringLiteral("IPXHeaderCompression"), kText, QStringLiteral("1"), QStringLiteral("0")},
        {QStringLiteral("PointToPointIP"), kText, QStringLiteral("1"), QStringLiteral("0")},
    }};
    return switches;
}

MtuWrite adapterSwitchWrite(int row, bool on)
{
    const AdapterSwitch& s = adapterSwitches()[row];
    return {kDialUpAdapterKey, s.valueName, s.type, on ? s.onData : s.offData};
}

std::optional<bool> adapterSwitchStateForReadText(const QString& readText)
{
    if (readText == kUnknown || readText == QLatin1String("0"))
        return false;
    if (readText == QLatin1String("1"))
        return true;
    return std::nullopt;
}

std::optional<MtuWrite> fasterDialUpWrite(const QString& readText)
{
    if (readText != kUnknown)
        return std::nullopt;
    return MtuWrite{kModemInitKey, kModemInitValue, kText, kFasterDialUpCommand};
}

} // namespace velmora
