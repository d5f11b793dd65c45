#include "config/QueriedValue.h"

#include "core/AnsiCodePage.h"
#include "registry/Registry.h"

#include <algorithm>

namespace velmora {

std::optional<QString> queriedValueText(quint32 type, QByteArrayView bytes)
{
    if (type == REG_DWORD) {
        quint32 number = 0;
        for (qsizetype i = std::min<qsizetype>(bytes.size(), 4); i-- > 0;)
            number = (number << 8) | quint8(bytes[i]);
        return QString::number(number);
    }
    if (type != REG_SZ)
        return std::nullopt;
    if (!bytes.isEmpty() && bytes.back() == '\0')
        bytes.chop(1);
    return fromAnsi(bytes);
}

} // namespace velmora
