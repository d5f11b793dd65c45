#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace velmora {

// The text of a value as RegQueryValueExA returned it (its type and the bytes it filled in):
// a text value as stored, one trailing NUL dropped; a number (REG_DWORD) as its unsigned
// decimal text, least significant byte first, missing bytes read as zeros. Nothing for any
// other type, which leaves the reader's text as it was.
std::optional<QString> queriedValueText(quint32 type, QByteArrayView bytes);

} // namespace velmora
