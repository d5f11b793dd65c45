#pragma once

#include "platform/FileFixtures.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>

// Registry files shared by the registry tests.
namespace velmora::testing {

// An excerpt of a real Windows 9x machine's HKEY_LOCAL_MACHINE, exported in REGEDIT4 form
// (CRLF, ANSI, hex lists wrapped as regedit wraps them): network and modem classes, ports,
// hex(2), hex(7), long binary values.
inline QByteArray win98Excerpt()
{
    return readBytes(QFileInfo(QStringLiteral(__FILE__)).absolutePath() +
                     QStringLiteral("/data/win98-system-excerpt.reg"));
}

inline QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

} // namespace velmora::testing
