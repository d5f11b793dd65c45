#pragma once

#include "platform/FileIdentity.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

namespace velmora {

// Replaces the file at hostPath with exactly these bytes, so that a crash at any point leaves
// either the old file or the new one, never a torn mix: the bytes go to a temporary file
// "<name>.velmora-XXXXXX" in the same folder, are flushed and synced (a failed write, a full
// disk or a size limit is noticed here, before anything is replaced), and the temporary file
// then takes the old one's place. An existing file keeps its permission bits, and its owner and
// group as far as the process may set them; a read-only file (no write permission bit at all)
// is never replaced, not even by root. A link is written through: the file it points to is
// replaced and the link stays. On failure the old file is untouched, no temporary file is left
// behind, and the reason says what went wrong. Writers through Velmora take turns.
Result<void> writeFileAtomically(const QString& hostPath, QByteArrayView bytes);

// The edit of a file's contents (nothing when the file does not exist): its new contents, or
// nothing when the file stays as it is.
using FileEdit = std::function<Result<std::optional<QByteArray>>(const std::optional<QByteArray>& current)>;

// Reads the file, edits it and writes the result as writeFileAtomically does, with every writer
// through Velmora kept out meanwhile (a lock on the file's folder, which adds no file to it),
// and what interrupted writes of the file left beside it removed first. When another program
// changed the file between the read and the moment the new one is put in place, nothing of
// its change is lost: the edit is made again on what it wrote, a few times at most, then
// given up with the reason. A link is written through only when its target lies inside the
// folder `within`.
Result<void> editFileAtomically(const QString& hostPath, const QString& within, const FileEdit& edit);

// The pieces of the above for a writer that keeps the file's contents itself.

// The file a write of hostPath replaces: hostPath, or for a link, the file it points to. A link
// that leads nowhere, or out of `within` (when given), is refused.
Result<QString> writeTarget(const QString& hostPath, const QString& within = {});

// Removes the temporary files that interrupted writes of target left beside it. Call it only
// while holding the lock every writer of target takes, so no live write loses its file.
void removeStaleTemporaries(const QString& target);

// Puts bytes in the place of target (no link) only while the file there is still the one
// basedOn describes (a missing file when basedOn says so; anything when basedOn was never
// looked at). The new file's identity when written; nothing, with nothing written, when the
// file had changed.
Result<std::optional<FileIdentity>> replaceFileIfUnchanged(const QString& target, QByteArrayView bytes,
                                                           const FileIdentity& basedOn);

// How often an edit is made again on a file another program keeps changing.
constexpr int kEditAttempts = 8;

} // namespace velmora
