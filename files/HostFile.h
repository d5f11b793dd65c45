#pragma once

#include "core/Found.h"
#include "core/Result.h"
#include "files/FileIdentity.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <sys/types.h>

namespace velmora {

// The most Velmora reads of one file unless the caller sets a lower limit: far beyond any INI
// file or registry of Windows 9x, yet short of what would exhaust the memory of the machine.
constexpr qint64 kHostFileLimit = qint64(256) << 20;

// What a read of a machine's file may do.
struct HostFileRules {
    qint64 limit = kHostFileLimit; // a larger file is refused unread
    // When given, the file (its folders and a link in its place included) must lie inside this
    // folder: a link leading out of it is refused, and nothing outside is opened at all.
    QString within = {};
    qsizetype spare = 0; // room kept free after the bytes, for a caller that edits them in place
    bool noLink = false; // the file itself must not be a link ("it is a link"); its folders may be
};

// A file as read: its bytes (missing when no file is there) and the identity of the file they
// came from, taken before reading, so a change while it is read is seen later.
struct HostFileContents {
    Found<QByteArray> bytes;
    FileIdentity identity;
};

// Reads an ordinary file whole, never blocking and never beyond the limit: anything else in
// its place is refused unread, with the reason in words for the user, saying what stands there
// ("it is not an ordinary file but a FIFO", "a folder stands in the file's place", "the file is
// a link that leads out of the machine"). A missing file gives contents without bytes.
Result<HostFileContents> readHostFileIfPresent(const QString& hostPath, const HostFileRules& rules = {});

// The same, a missing file refused as "the file does not exist".
Result<QByteArray> readHostFile(const QString& hostPath, const HostFileRules& rules = {});

// Whether an ordinary file that could be read under the rules is at hostPath (false: nothing
// is there), without opening it; the reason when something else stands in its place.
Result<bool> hostFileExists(const QString& hostPath, const HostFileRules& rules = {});

// Why what a status (st_mode) describes cannot be read or replaced as a file, in words for the
// user ("it is not an ordinary file but a FIFO"); empty for an ordinary file.
QString notAFile(mode_t mode);

// Text for a message, with each control character shown as <0xNN>: a NUL would end the message
// where it stands, a line break would break it.
QString shownInMessage(QStringView text);

} // namespace velmora
