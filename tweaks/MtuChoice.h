#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace velmora {

// The MTU options of the modem settings: 0 "Auto Detect" up to 3 "Large (1500)" are fixed
// sizes, 4 "Other" takes the size the user types.
inline constexpr int kMtuOptionCount = 5;
inline constexpr int kOtherMtuOption = 4;

// The registry value under HKEY_LOCAL_MACHINE that an MTU choice writes.
struct MtuWrite {
    QString keyPath;
    QString valueName;
    qint32 type; // 1 text, 4 number
    QVariant value;

    bool operator==(const MtuWrite&) const = default;
};

// The dial-up adapter's "IPMTU" text: the option's size, or the typed text as it stands.
MtuWrite dialUpMtuWrite(int option, const QString& typedSize);

// America Online's "mtu" number; nothing when the typed size is no whole number. A fixed size
// goes to the key spelled with a blank, a typed size to the one spelled "%20".
std::optional<MtuWrite> aolMtuWrite(int option, const QString& typedSize);

// The network transport's maximum instances, "MaxInstance": the text as typed, unchecked.
inline const QString kMaxInstanceKey =
    QStringLiteral("System\\CurrentControlSet\\Services\\Class\\NetTrans\\0000\\Ndi\\");
MtuWrite maxInstanceWrite(const QString& text);

// The option that shows a stored "IPMTU" text: the fixed size it equals, else "Other".
int mtuOptionForStoredText(const QString& stored);

} // namespace velmora
