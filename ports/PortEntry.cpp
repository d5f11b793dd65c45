#include "ports/PortEntry.h"

#include "core/AnsiCodePage.h"
#include "profile/SequentialInput.h"

#include <QStringList>

#include <array>
#include <utility>

namespace velmora {
namespace {

using Pair = std::pair<const char*, const char*>;

constexpr std::array<Pair, 5> kParity = {Pair{"n", "None"}, Pair{"e", "Even"}, Pair{"o", "Odd"},
                                         Pair{"m", "Mark"}, Pair{"s", "Space"}};
constexpr std::array<Pair, 3> kFlow = {Pair{"p", "Hardware"}, Pair{"x", "Xon / Xoff"}, Pair{" ", "None"}};

template <std::size_t N>
std::optional<QString> lookUp(const std::array<Pair, N>& table, const QString& key, bool byLetter)
{
    for (const auto& [letter, text] : table)
        if (key == QLatin1String(byLetter ? letter : text))
            return QString::fromLatin1(byLetter ? text : letter);
    return std::nullopt;
}

} // namespace

std::optional<QString> portKeyForName(const QString& portName)
{
    for (int port = 1; port <= 4; ++port)
        if (portName == QStringLiteral("Com Port %1").arg(port))
            return QStringLiteral("COM%1:").arg(port);
    return std::nullopt;
}

PortEntry readPortEntry(SequentialInput& input, const QString& key,
                        const std::function<void()>& afterSkippedItem)
{
    // An item matches when the text before its first "=" is the key: with a key that holds no
    // "=", when it starts with the key's bytes and an "=". Items are compared as bytes, so the
    // many that do not match cost no conversion.
    const QByteArray prefix = toAnsi(key) + '=';
    const bool keyCanMatch = !key.contains(QLatin1Char('=')) && isAnsiRepresentable(key);

    PortEntry entry;
    while (const std::optional<QByteArrayView> item = input.nextView()) {
        if (!keyCanMatch || !item->startsWith(prefix)) {
            if (afterSkippedItem)
                afterSkippedItem();
            continue;
        }
        entry = PortEntry{fromAnsi(item->sliced(prefix.size())), {}, {}, {}, {}};
        for (QString* field : {&entry.parity, &entry.data, &entry.stop, &entry.flow}) {
            if (input.lastItemEndedLine())
                break;
            const std::optional<QByteArrayView> next = input.nextView();
            if (!next)
                break;
            *field = fromAnsi(*next);
        }
    }
    return entry;
}

QString parityTextForLetter(const QString& letter)
{
    return lookUp(kParity, letter, true).value_or(letter);
}

QString flowTextForLetter(const QString& letter)
{
    return lookUp(kFlow, letter, true).value_or(QStringLiteral("None"));
}

QString parityLetterForText(const QString& text)
{
    return lookUp(kParity, text, false).value_or(QString());
}
QString flowLetterForText(const QString& text)
{
    return lookUp(kFlow, text, false).value_or(QString());
}

Result<PortEntry> portEntryFromListTexts(const PortEntry& texts)
{
    const std::pair<const QString&, const char*> required[] = {
        {texts.rate, "Must Select a Bit Rate"},     {texts.parity, "Must Select a Parity"},
        {texts.data, "Must Select a Data Bit"},     {texts.stop, "Must Select a Stop Bit"},
        {texts.flow, "Must Select a Flow Control"},
    };
    for (const auto& [text, refusal] : required)
        if (text.isEmpty())
            return failure(QString::fromLatin1(refusal));
    return PortEntry{texts.rate, parityLetterForText(texts.parity), texts.data, texts.stop,
                     flowLetterForText(texts.flow)};
}

Result<PortEntry> portEntryFromStoredText(const QString& value)
{
    const QStringList fields = value.split(QLatin1Char(','));
    if (fields.size() != 5)
        return failure(QStringLiteral("An entry has five fields, rate,parity,data bits,stop bits,flow "
                                      "(like 9600,n,8,1,x)"));
    // A letter stands for its list text; any other text is taken as a list text. No flow letter
    // is None's blank as win.ini is read (the blank ends the line), so it reads back as it is shown.
    const QString parity = lookUp(kParity, fields[1], true).value_or(fields[1]);
    const QString flow =
        lookUp(kFlow, fields[4].isEmpty() ? QStringLiteral(" ") : fields[4], true).value_or(fields[4]);
    return portEntryFromListTexts({fields[0], parity, fields[2], fields[3], flow});
}

QString joinPortEntry(const PortEntry& entry)
{
    return QStringList({entry.rate, entry.parity, entry.data, entry.stop, entry.flow}).join(QLatin1Char(','));
}

} // namespace velmora
