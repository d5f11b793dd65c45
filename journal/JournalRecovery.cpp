#include "journal/JournalRecovery.h"

#include "journal/Checksum.h"
#include "journal/UndoJournal.h"

#include <QFileInfo>

namespace velmora {

Result<SaveRecovery> recoverInterruptedSave(BlockDevice& image, const QString& journalPath)
{
    const QString journalName = QFileInfo(journalPath).fileName();
    auto refuse = [&](const QString& why) -> Result<SaveRecovery> {
        return failure(QStringLiteral("%1 cannot be opened: the undo journal %2 beside it cannot be played "
                                      "back (%3); move it away only if the image is known to be sound")
                           .arg(image.name(), journalName, why));
    };
    const Result<Found<QByteArray>> bytes = readUndoJournal(journalPath);
    if (!bytes)
        return refuse(bytes.reason());
    if (!bytes->isPresent())
        return SaveRecovery{};

    const Result<UndoJournal> journal = decodeUndoJournal(bytes->value);
    if (!journal) {
        // Not whole means the crash came while it was written: the image was not touched yet.
        if (const Result<void> removed = removeUndoJournal(journalPath); !removed)
            return refuse(removed.reason());
        return SaveRecovery{SaveRecovery::Outcome::UnfinishedDropped, 0,
                            QStringLiteral("%1: a save was interrupted before it changed the image; its "
                                           "unfinished undo journal was removed")
                                .arg(image.name())};
    }
    if (const Result<void> fits = checkJournalFits(*journal, image.size()); !fits)
        return refuse(fits.reason());

    // Every sector must hold its old bytes or the save's: anything else means another program
    // wrote the image since, and the old bytes would now damage it.
    QList<const UndoRecord*> changed;
    qint64 restored = 0;
    for (const UndoRecord& r : journal->records) {
        const Result<QByteArray> current = image.read(r.offset, r.oldBytes.size());
        if (!current)
            return refuse(current.reason());
        if (*current == r.oldBytes)
            continue;
        for (qsizetype s = 0; s < r.newSectorChecksums.size(); ++s) {
            const QByteArrayView now =
                QByteArrayView(*current)
                    .sliced(s * kSectorSize)
                    .first(qMin(kSectorSize, qint64(current->size()) - s * kSectorSize));
            if (now != QByteArrayView(r.oldBytes).sliced(s * kSectorSize, now.size()) &&
                crc32c(now) != r.newSectorChecksums[s])
                return refuse(QStringLiteral("the bytes at %1 were changed by something else since")
                                  .arg(r.offset + s * kSectorSize));
        }
        changed.append(&r);
        restored += r.oldBytes.size();
    }
    for (const UndoRecord* r : changed) {
        if (const Result<void> written = image.write(r->offset, r->oldBytes); !written)
            return refuse(written.reason());
    }
    // The old bytes are on disk before the journal that holds them goes.
    if (const Result<void> flushed = image.flush(); !flushed)
        return refuse(flushed.reason());
    if (const Result<void> removed = removeUndoJournal(journalPath); !removed)
        return refuse(removed.reason());
    return SaveRecovery{SaveRecovery::Outcome::PutBack, restored,
                        QStringLiteral("%1: a save was interrupted; the image was put back as it was before "
                                       "that save")
                            .arg(image.name())};
}

} // namespace velmora
