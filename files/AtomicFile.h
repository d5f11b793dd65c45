#pragma once

#include "core/Found.h"
#include "core/Result.h"
#include "files/FileIdentity.h"
#include "files/FileLock.h"
#include "files/FileWrites.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <functional>

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

// What an edit makes of a file: keeps it as it is, replaces its contents with bytes, or removes
// it (a read-only file is never removed).
// Whether a file marked read-only (its attribute, or on the host its mode) may be replaced:
// Windows keeps its registry read-only and writes it all the same; any other file so marked is
// left as it is, refused before it is even read for the edit. A replaced file keeps the mark.
enum class ReadOnlyFile { Refused, Written };

struct FileChange {
    enum class Kind { Keep, Replace, Remove };
    Kind kind = Kind::Keep;
    QByteArray bytes = {}; // the new contents; only for Replace

    static FileChange keep() { return {}; }
    static FileChange replaceWith(QByteArray bytes) { return {Kind::Replace, std::move(bytes)}; }
    static FileChange remove() { return {Kind::Remove}; }
};

// The edit of a file's contents (missing when the file does not exist).
using FileEdit = std::function<Result<FileChange>(const Found<QByteArray>& current)>;

// Reads the file (as readHostFile does), edits it and writes the result as guardedWrite does.
// A link is written through only when its target lies inside the folder `within`.
Result<void> editFileAtomically(const QString& hostPath, const QString& within, const FileEdit& edit,
                                ReadOnlyFile readOnly = ReadOnlyFile::Refused);

// How one attempt at a write ended: done (written, or nothing to write), or the file was
// changed by another program before the new one was in place, so nothing was written.
enum class Attempt { Done, FileChanged };
// One attempt: given the file a write replaces, it reads what it needs, makes its change and
// puts the result in place with replaceFileIfUnchanged.
using WriteAttempt = std::function<Result<Attempt>(const QString& target)>;

// How the writers of one file take turns.
struct WriteGuard {
    QString within;           // a link is written through only to a file inside it (empty: anywhere)
    FileLock* lock = nullptr; // the lock all writers of the file take; none: the file's folder
};

// The one way Velmora changes a file, whichever writer it is: take the lock every writer of the
// file takes (held on the folder as it really is, whatever link led to it), find the file the
// write replaces (writeTarget), remove what interrupted writes left beside it, and make the
// attempt. When another program changed the file meanwhile, nothing of its change is lost: the
// attempt is made again on what it wrote, a few times at most, then given up with the reason.
// Every failure names the file.
Result<void> guardedWrite(const QString& hostPath, const WriteGuard& guard, const WriteAttempt& attempt);

// The pieces of the above for a writer that keeps the file's contents itself.

// The file a write of hostPath replaces, its folder as it really is: hostPath, or for a link,
// the file it points to. A link that leads nowhere, or a file or link leading out of `within`
// (when given), is refused.
Result<QString> writeTarget(const QString& hostPath, const QString& within = {});

// Removes the temporary files that interrupted writes of target left beside it. Call it only
// while holding the lock every writer of target takes, so no live write loses its file.
void removeStaleTemporaries(const QString& target);

// How a replacement of a file ended: done, with the new file's identity, or nothing written
// because the file had changed.
struct Replacement {
    Attempt outcome = Attempt::Done;
    FileIdentity identity = {}; // only when Done
    FileWrites writes = {};     // only when Done: the writes into the new file from its start on
};

// Puts bytes in the place of target (no link) only while the file there is still the one
// basedOn describes, its status time included (a missing file when basedOn says so; anything
// when basedOn was never looked at), and since, the watch begun before basedOn was read, saw no
// write into it. A failure names the file ("SYSTEM.DAT could not be written: No space left on
// device").
Result<Replacement> replaceFileIfUnchanged(const QString& target, QByteArrayView bytes,
                                           const FileIdentity& basedOn, FileWrites* since = nullptr,
                                           ReadOnlyFile readOnly = ReadOnlyFile::Refused);

// How often an edit is made again on a file another program keeps changing.
constexpr int kEditAttempts = 8;

} // namespace velmora
