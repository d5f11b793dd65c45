#include "tweaks/MtuChoice.h"

#include "ui/RegistryAccess.h"

namespace velmora {
namespace {

const QString kAolKey = QStringLiteral("Software\\America Online\\AOL\\aolsock\\");
const QString kAolTypedKey = QStringLiteral("Software\\America%20Online\\AOL\\aolsock\\");
constexpr qint32 kText = 1, kNumber = 4;

// The sizes of options 0 to 3.
constexpr int kFixedSizes[kOtherMtuOption] = {0, 576, 1000, 1500};

} // namespace

MtuWrite dialUpMtuWrite(int option, const QString& typedSize)
{
    const QString size = option < kOtherMtuOption ? QString::number(kFixedSizes[option]) : typedSize;
    return {kDialUpAdapterKey, QStringLiteral("IPMTU"), kText, size};
}

std::optional<MtuWrite> aolMtuWrite(int option, const QString& typedSize)
{
    if (option < kOtherMtuOption)
        return MtuWrite{kAolKey, QStringLiteral("mtu"), kNumber, qint32(kFixedSizes[option])};
    bool whole = false;
    const qint32 size = typedSize.toInt(&whole, 10);
    if (!whole)
        return std::nullopt;
    return MtuWrite{kAolTypedKey, QStringLiteral("mtu"), kNumber, size};
}

MtuWrite maxInstanceWrite(const QString& text)
{
    return {kMaxInstanceKey, QStringLiteral("MaxInstance"), kText, text};
}

int mtuOptionForStoredText(const QString& stored)
{
    for (int option = 0; option < kOtherMtuOption; ++option)
        if (stored == QString::number(kFixedSizes[option]))
            return option;
    return kOtherMtuOption;
}

} // namespace velmora
