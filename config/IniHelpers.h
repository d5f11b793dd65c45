#pragma once

#include <QString>

namespace velmora {

class ProfileWriter;

// One field of a delimited text. Delimiters inside a stretch opened by a straight or
// typographic double quote do not split; the field comes back unchanged, quotes and blanks
// included. Field numbers count from 1; "" for an empty text, field 0 or below, a field beyond
// the last, and for the last field when the text ends with the delimiter.
QString mfncParseString(const QString& strIn, qint16 intOffset, const QString& strDelimiter);

// Writes one key of one section of an INI file through the platform's profile function, in
// the ANSI code page. The platform call's result: nonzero on success, 0 on failure (then
// profiles.lastError() says why).
qint16 mfncWriteIni(ProfileWriter& profiles, const QString& strSectionHeader, const QString& strVariableName,
                    const QString& strValue, const QString& strFileName);

} // namespace velmora
