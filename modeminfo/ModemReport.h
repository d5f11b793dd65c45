#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

namespace velmora {

class Module2;

// One line of the modem information: a value of the first modem's registry keys and the text
// shown before it.
struct ModemInfoRow {
    QString keyPath; // below HKEY_LOCAL_MACHINE, passed as it stands
    QString valueName;
    QString prefix;
};

inline constexpr int kModemInfoRowCount = 30;

// The thirty rows, top to bottom (Label1 to Label30).
const std::array<ModemInfoRow, kModemInfoRowCount>& modemInfoRows();

// The thirty lines as read now: each row's prefix and its value's text, "Unknown" when it
// cannot be read.
QStringList modemReportLines(Module2& registryValues);

// The report file: each line in the ANSI code page, ended by CR LF, and nothing else.
QByteArray modemReportBytes(const QStringList& lines);

} // namespace velmora
