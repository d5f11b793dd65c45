#pragma once

#include "tweaks/MtuChoice.h"

#include <QString>

#include <array>
#include <optional>

namespace velmora {

// The modem settings window's tweaks: three on/off flags of the dial-up adapter and the
// "AT%C0" command in the first modem's initialisation value 2.

// One adapter flag: its value under the dial-up adapter's key and the data each state writes.
struct AdapterSwitch {
    QString valueName;
    qint32 type; // 3 the text's bytes, 1 text
    QString onData;
    QString offData;
};

inline constexpr int kAdapterSwitchCount = 3;

// SLOWNET (binary "01"/"00"), IPXHeaderCompression and PointToPointIP (text "1"/"0"), in the
// window's row order.
const std::array<AdapterSwitch, kAdapterSwitchCount>& adapterSwitches();

// What switching a flag on or off writes.
MtuWrite adapterSwitchWrite(int row, bool on);

// The check box state a read flag shows: "Unknown" and "0" off, "1" on; anything else leaves
// the box as it is.
std::optional<bool> adapterSwitchStateForReadText(const QString& readText);

// The modem's initialisation value 2 and the command that makes dial-up faster.
inline const QString kModemInitKey =
    QStringLiteral("System\\CurrentControlSet\\Services\\Class\\Modem\\0000\\Settings\\Init\\");
inline const QString kModemInitValue = QStringLiteral("2");
inline const QString kFasterDialUpCommand = QStringLiteral("AT%C0");

// The write that puts "AT%C0" in place, when value 2 reads as "Unknown" (missing or not a text
// or number); nothing otherwise: a value 2 of the user's own stays as it is.
std::optional<MtuWrite> fasterDialUpWrite(const QString& readText);

} // namespace velmora
