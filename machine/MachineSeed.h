#pragma once

#include <QByteArray>

namespace velmora {

// The files a new machine starts with: a freshly installed Windows 98 SE with a modem.
// Both are ANSI text with CRLF line ends, as Windows keeps them.
QByteArray seedWinIni();
QByteArray seedSystemIni();

} // namespace velmora
