#pragma once

#include "core/Found.h"
#include "core/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace velmora {

// The undo journal of one save to a disk image: the old bytes of every sector the save is about
// to overwrite, kept in a file beside the image until the new bytes are flushed to it. The file
// carries checksums of each record and of the whole, so a journal cut short by a crash while it
// was written (the image not yet touched) is told apart from a whole one (the image maybe half
// written, to be put back).

constexpr qint64 kSectorSize = 512;
// No save writes more than this; a larger file beside an image is not one of our journals.
constexpr qint64 kMaxUndoJournalBytes = qint64(256) << 20;

// The old bytes of one stretch of the device: whole sectors, the last one shortened only by the
// end of the device.
struct UndoRecord {
    qint64 offset = 0;
    QByteArray oldBytes;
    // The checksum of each sector as the save writes it: a sector that holds neither its old
    // nor its new bytes was changed by something else since.
    QList<quint32> newSectorChecksums;
    bool operator==(const UndoRecord&) const = default;
};

struct UndoJournal {
    qint64 deviceSize = 0;
    QList<UndoRecord> records; // ascending, not overlapping
    bool operator==(const UndoJournal&) const = default;
};

// "<image>.velmora-undo", beside the image file a link leads to, if any.
QString undoJournalPath(const QString& imagePath);

QByteArray encodeUndoJournal(const UndoJournal& journal);
// The journal the bytes hold, or why they are not a whole one (cut short, damaged, not ours).
Result<UndoJournal> decodeUndoJournal(QByteArrayView bytes);
// Whether a whole journal can belong to a device of this size: every record inside it, on
// sector bounds, in order.
Result<void> checkJournalFits(const UndoJournal& journal, qint64 deviceSize);

// Creates the journal file (never over an existing one, never through a link), writes and syncs
// it and then its folder, so it is on disk before the first sector is overwritten. On failure
// nothing is left behind.
Result<void> writeUndoJournal(const QString& path, QByteArrayView encoded);
// The file's bytes, missing when there is none; a failure when it is not a plain file, larger
// than any journal, or unreadable.
Result<Found<QByteArray>> readUndoJournal(const QString& path);
// Removes the journal. The removal is left for the file system to make durable in its own time:
// a journal that comes back after a crash only undoes a save that was whole.
Result<void> removeUndoJournal(const QString& path);

} // namespace velmora
