#pragma once

#include "disk/BlockDevice.h"
#include "journal/UndoJournal.h"

#include <QByteArray>
#include <QString>

#include <map>

namespace velmora {

// A disk image changed as one transaction. Writes are held in memory, and reads see them, until
// commit() puts them all on the image at once: the old bytes of every sector about to change
// go to an undo journal beside the image first (written and synced, with its folder), then the
// new bytes, then a flush through to the image file, then the journal goes (unsynced: a journal
// a crash brings back only undoes a whole save). A crash at any point leaves the image as it
// was or as the save made it; opening it again (recoverInterruptedSave) finishes the job.
class StagedDevice final : public BlockDevice {
public:
    // journalPath is undoJournalPath() of the image file.
    StagedDevice(BlockDevice& image, QString journalPath);

    QString name() const override;
    qint64 size() const override;
    Result<QByteArray> read(qint64 offset, qint64 length) override;
    Result<void> write(qint64 offset, QByteArrayView bytes) override;
    // Nothing reaches the image before commit(): one save is one transaction, however often
    // the layers above it flush.
    Result<void> flush() override;

    // Puts every held write on the image as described above; on failure the image is as it
    // was (or is put back when next opened) and the reason says why. The writes are dropped
    // either way.
    Result<void> commit();
    // Drops the held writes.
    void discard();
    bool hasChanges() const { return !m_sectors.empty(); }

private:
    qint64 sectorLength(qint64 sector) const;
    Result<void> rollBack(const QString& why, const QList<UndoRecord>& records);

    BlockDevice& m_image;
    QString m_journalPath;
    std::map<qint64, QByteArray> m_sectors; // sector number -> its new bytes
};

} // namespace velmora
