#pragma once

#include <QString>

#include <array>
#include <optional>

namespace velmora {

// What the buffer settings window writes for a port's buffer: two entries of the [386Enh]
// section of system.ini.
struct IniEntry {
    QString name;
    QString value;

    bool operator==(const IniEntry&) const = default;
};

// Where the entries live.
inline const QString kSystemIniPath = QStringLiteral("c:\\windows\\system.ini");
inline const QString kPortBufferSection = QStringLiteral("386Enh");

// The refusal for a box left empty, the port's first, then the IRQ's, then the buffer's;
// nothing when all three are filled.
std::optional<QString> portBufferRefusal(const QString& port, const QString& irq, const QString& buffer);

// "Com2Irq=3" and "Com2Buffer=1024", the IRQ first: a buffer entry is never written without it.
std::array<IniEntry, 2> portBufferEntries(const QString& port, const QString& irq, const QString& buffer);

} // namespace velmora
