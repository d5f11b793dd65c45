#pragma once

#include "core/Result.h"

#include <QString>

#include <functional>
#include <optional>

namespace velmora {

class SequentialInput;

// A port's line settings as the "Ports" section of win.ini keeps them:
// "COM1:=9600,n,8,1,x" is rate, parity letter, data bits, stop bits and flow letter.
struct PortEntry {
    QString rate;
    QString parity;
    QString data;
    QString stop;
    QString flow;

    bool operator==(const PortEntry&) const = default;
};

// Where the entries live.
inline const QString kWinIniPath = QStringLiteral("c:\\windows\\win.ini");
inline const QString kPortsSection = QStringLiteral("Ports");

// "Com Port 1" .. "Com Port 4" stand for the keys "COM1:" .. "COM4:"; anything else for none.
std::optional<QString> portKeyForName(const QString& portName);

// Reads the whole input item by item and returns the fields of the last item whose text
// before its first "=" is exactly the key. The four fields after the rate come only from the
// rest of that item's own line; missing ones stay empty. With no match all five are empty.
// afterSkippedItem runs after every item that is not part of a match.
PortEntry readPortEntry(SequentialInput& input, const QString& key,
                        const std::function<void()>& afterSkippedItem);

// Letters as the lists show them: "n" -> "None" ... ; an unknown parity letter is shown as it
// stands, any flow letter but "p" and "x" means "None".
QString parityTextForLetter(const QString& letter);
QString flowTextForLetter(const QString& letter);

// List texts as they are stored: a known text gives its letter, any other text an empty field.
// (Empty texts are refused by the caller before these are asked.)
QString parityLetterForText(const QString& text);
QString flowLetterForText(const QString& text);

// The entry to store for the lists' texts (parity and flow as the lists show them), or the
// refusal for the first one left empty: rate, parity, data bits, stop bits, flow.
Result<PortEntry> portEntryFromListTexts(const PortEntry& texts);

// The entry to store for a value written as win.ini keeps it ("19200,e,7,1,x"), through the
// same checks as the lists' texts: each of the five fields may be the stored letter or the
// list's text ("Even", "Xon / Xoff", "None"); an empty flow is None, as readPortEntry reads its
// blank. Refused when it has not five fields, or with the lists' refusal for the first empty one.
Result<PortEntry> portEntryFromStoredText(const QString& value);

QString joinPortEntry(const PortEntry& entry);

} // namespace velmora
