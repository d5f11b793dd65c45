#pragma once

#include <QByteArray>
#include <QString>

namespace velmora {

// The machine's ANSI code page, Windows-1252. Files and registry data hold these bytes;
// the program works in QString.
//
// A character the code page cannot hold becomes "?" (one per character, surrogate pairs
// included). The five bytes the code page leaves undefined (81 8D 8F 90 9D) map to the
// C1 controls of the same number both ways, so every byte string survives a round trip.
QByteArray toAnsi(QStringView text);
QString fromAnsi(QByteArrayView bytes);

// True when every character of the text is representable (nothing would become "?").
bool isAnsiRepresentable(QStringView text);

} // namespace velmora
