#include "buffers/PortBuffer.h"

namespace velmora {

std::optional<QString> portBufferRefusal(const QString& port, const QString& irq, const QString& buffer)
{
    if (port.isEmpty())
        return QStringLiteral("You Must Enter a Com Port!");
    if (irq.isEmpty())
        return QStringLiteral("You Must Enter an Irq #");
    if (buffer.isEmpty())
        return QStringLiteral("You Must Enter a Buffer!");
    return std::nullopt;
}

std::array<IniEntry, 2> portBufferEntries(const QString& port, const QString& irq, const QString& buffer)
{
    const QString key = QStringLiteral("Com") + port;
    return {IniEntry{key + QStringLiteral("Irq"), irq}, IniEntry{key + QStringLiteral("Buffer"), buffer}};
}

} // namespace velmora
