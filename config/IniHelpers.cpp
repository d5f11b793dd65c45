#include "config/IniHelpers.h"

#include "core/AnsiCodePage.h"
#include "profile/ProfileWriter.h"

#include <QList>

namespace velmora {
namespace {

bool isQuote(QChar c)
{
    return c == QChar(0x0022) || c == QChar(0x201C) || c == QChar(0x201D);
}

// A one-character delimiter compared with the whole delimiter text.
bool isDelimiter(QChar c, const QString& delimiter)
{
    return delimiter.size() == 1 && delimiter[0] == c;
}

} // namespace

QString mfncParseString(const QString& strIn, qint16 intOffset, const QString& strDelimiter)
{
    if (strIn.isEmpty() || intOffset <= 0)
        return {};

    // 1-based positions of the delimiters that split; position 0 starts field 1.
    QList<qsizetype> positions{0};
    bool insideQuotes = false;
    for (qsizetype i = 0; i < strIn.size(); ++i) {
        const QChar c = strIn[i];
        if (isQuote(c))
            insideQuotes = !insideQuotes;
        if (isDelimiter(c, strDelimiter) && !insideQuotes)
            positions.append(i + 1);
    }

    const qsizetype fieldCount = positions.size();
    if (intOffset > fieldCount)
        return {};
    if (intOffset == fieldCount && isDelimiter(strIn.back(), strDelimiter))
        return {};

    const qsizetype start = positions[intOffset - 1];                       // 0-based first char
    const qsizetype end = intOffset < fieldCount ? positions[intOffset] - 1 // 0-based past-the-end
                                                 : strIn.size();
    return strIn.mid(start, end - start);
}

qint16 mfncWriteIni(ProfileWriter& profiles, const QString& strSectionHeader, const QString& strVariableName,
                    const QString& strValue, const QString& strFileName)
{
    const int result = profiles.WritePrivateProfileStringA(toAnsi(strSectionHeader), toAnsi(strVariableName),
                                                           toAnsi(strValue), toAnsi(strFileName));
    return result != 0 ? qint16(1) : qint16(0);
}

} // namespace velmora
