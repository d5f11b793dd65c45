#include "journal/StagedDevice.h"

#include "journal/Checksum.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace velmora {
namespace {

Result<void> checkRange(qint64 offset, qint64 length, qint64 size)
{
    if (offset < 0 || length < 0 || offset > size || length > size - offset)
        return failure(QStringLiteral("bytes %1 to %2 lie outside the disk of %3 bytes")
                           .arg(offset)
                           .arg(offset + length)
                           .arg(size));
    return {};
}

// One stretch of changed sectors: its undo record and the bytes the save puts there.
struct Run {
    UndoRecord undo;
    QByteArray newBytes;
};

} // namespace

StagedDevice::StagedDevice(BlockDevice& image, QString journalPath)
    : m_image(image), m_journalPath(std::move(journalPath))
{
}

QString StagedDevice::name() const
{
    return m_image.name();
}

qint64 StagedDevice::size() const
{
    return m_image.size();
}

qint64 StagedDevice::sectorLength(qint64 sector) const
{
    return qMin(kSectorSize, size() - sector * kSectorSize);
}

Result<QByteArray> StagedDevice::read(qint64 offset, qint64 length)
{
    if (const Result<void> inside = checkRange(offset, length, size()); !inside)
        return failure(inside.reason());
    Result<QByteArray> bytes = m_image.read(offset, length);
    if (!bytes || length == 0)
        return bytes;
    const qint64 end = offset + length;
    for (auto it = m_sectors.lower_bound(offset / kSectorSize);
         it != m_sectors.end() && it->first * kSectorSize < end; ++it) {
        const qint64 start = it->first * kSectorSize;
        const qint64 from = qMax(start, offset);
        const qint64 to = qMin(start + qint64(it->second.size()), end);
        bytes->replace(from - offset, to - from, it->second.constData() + (from - start), to - from);
    }
    return bytes;
}

Result<void> StagedDevice::write(qint64 offset, QByteArrayView bytes)
{
    if (const Result<void> inside = checkRange(offset, bytes.size(), size()); !inside)
        return inside;
    const qint64 end = offset + bytes.size();
    for (qint64 sector = offset / kSectorSize; sector * kSectorSize < end; ++sector) {
        const qint64 start = sector * kSectorSize;
        const qint64 length = sectorLength(sector);
        const qint64 from = qMax(start, offset);
        const qint64 to = qMin(start + length, end);
        auto it = m_sectors.find(sector);
        if (it == m_sectors.end()) {
            QByteArray whole;
            if (to - from < length) { // part of a sector: the rest comes from the image
                Result<QByteArray> current = m_image.read(start, length);
                if (!current)
                    return failure(current.reason());
                whole = std::move(*current);
            } else {
                whole.resize(length);
            }
            it = m_sectors.emplace(sector, std::move(whole)).first;
        }
        it->second.replace(from - start, to - from, bytes.data() + (from - offset), to - from);
    }
    return {};
}

Result<void> StagedDevice::flush()
{
    return {};
}

void StagedDevice::discard()
{
    m_sectors.clear();
}

Result<void> StagedDevice::commit()
{
    const std::map<qint64, QByteArray> sectors = std::move(m_sectors);
    m_sectors.clear();
    if (sectors.empty())
        return {};
    const QString journalName = QFileInfo(m_journalPath).fileName();
    struct stat st {};
    if (::lstat(QFile::encodeName(m_journalPath).constData(), &st) == 0)
        return failure(QStringLiteral("the undo journal of an earlier save (%1) is still beside the image; "
                                      "nothing was changed")
                           .arg(journalName));

    // Stretches of held sectors, each read once; only sectors whose bytes really change are kept.
    QList<Run> runs;
    for (auto it = sectors.begin(); it != sectors.end();) {
        auto last = it;
        qint64 length = qint64(it->second.size());
        while (std::next(last) != sectors.end() && std::next(last)->first == last->first + 1) {
            ++last;
            length += last->second.size();
        }
        const Result<QByteArray> old = m_image.read(it->first * kSectorSize, length);
        if (!old)
            return failure(old.reason());
        bool open = false;
        for (auto s = it; s != std::next(last); ++s) {
            const QByteArrayView before =
                QByteArrayView(*old).sliced((s->first - it->first) * kSectorSize, s->second.size());
            if (before == QByteArrayView(s->second)) {
                open = false;
                continue;
            }
            if (!open) {
                runs.append(Run{UndoRecord{s->first * kSectorSize, {}, {}}, {}});
                open = true;
            }
            runs.last().undo.oldBytes.append(before);
            runs.last().undo.newSectorChecksums.append(crc32c(s->second));
            runs.last().newBytes.append(s->second);
        }
        it = std::next(last);
    }
    if (runs.isEmpty())
        return {};

    UndoJournal journal{size(), {}};
    journal.records.reserve(runs.size());
    for (const Run& run : runs)
        journal.records.append(run.undo);
    const QByteArray encoded = encodeUndoJournal(journal);
    // A journal the next opening would refuse to read protects nothing.
    if (encoded.size() > kMaxUndoJournalBytes)
        return failure(
            QStringLiteral("the change is larger than one save can protect (%1 bytes); nothing was "
                           "changed")
                .arg(encoded.size()));
    if (const Result<void> kept = writeUndoJournal(m_journalPath, encoded); !kept)
        return failure(QStringLiteral("the undo journal %1 cannot be written beside the image (%2), so "
                                      "nothing was changed")
                           .arg(journalName, kept.reason()));

    for (const Run& run : runs) {
        if (const Result<void> written = m_image.write(run.undo.offset, run.newBytes); !written)
            return rollBack(written.reason(), journal.records);
    }
    // The one sync of the image: its new bytes are on disk before the journal goes, or a crash
    // could leave some sectors old and no journal to tell which.
    if (const Result<void> flushed = m_image.flush(); !flushed)
        return rollBack(flushed.reason(), journal.records);
    // Should the journal stay, the next opening would undo a save reported as done.
    if (const Result<void> removed = removeUndoJournal(m_journalPath); !removed)
        return rollBack(
            QStringLiteral("the undo journal %1 cannot be removed: %2").arg(journalName, removed.reason()),
            journal.records);
    return {};
}

Result<void> StagedDevice::rollBack(const QString& why, const QList<UndoRecord>& records)
{
    bool putBack = true;
    for (const UndoRecord& r : records)
        putBack = putBack && m_image.write(r.offset, r.oldBytes).ok();
    putBack = putBack && m_image.flush().ok() && removeUndoJournal(m_journalPath).ok();
    if (putBack)
        return failure(QStringLiteral("%1; the image was left as it was").arg(why));
    return failure(
        QStringLiteral("%1; the image will be put back as it was when it is next opened").arg(why));
}

} // namespace velmora
