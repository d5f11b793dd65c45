#pragma once

#include <QByteArray>

namespace velmora {

// The REGEDIT4 text of a fresh machine's system.reg: what a Windows 98 SE machine with a
// dial-up adapter and an external 56K V.90 voice modem on COM2 holds under the keys the program
// reads (the network adapter and protocol classes, the modem class, the serial driver and the
// location of the system information tool). ANSI, CRLF.
QByteArray seedSystemReg();

} // namespace velmora
