#include "journal/UndoJournal.h"

#include "journal/Checksum.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr QByteArrayView kHeaderMagic("VLMUNDO\x01", 8);
constexpr QByteArrayView kTrailerMagic("VLMUNDO\x02", 8);
constexpr qsizetype kHeaderBytes = 36;     // magic, sector size, record count, device size, length, crc
constexpr qsizetype kRecordHeadBytes = 12; // offset, length
constexpr qsizetype kTrailerBytes = 12;    // magic, crc

QString systemReason(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void put64(QByteArray& out, quint64 v)
{
    char b[8];
    qToLittleEndian(v, b);
    out.append(b, 8);
}

quint32 get32(QByteArrayView in, qsizetype at)
{
    return qFromLittleEndian<quint32>(in.data() + at);
}

quint64 get64(QByteArrayView in, qsizetype at)
{
    return qFromLittleEndian<quint64>(in.data() + at);
}

qsizetype sectorsIn(qsizetype length)
{
    return (length + kSectorSize - 1) / kSectorSize;
}

// The checksum of the whole: the header's and every record's checksums in turn.
quint32 chain(quint32 whole, quint32 part)
{
    char b[4];
    qToLittleEndian(part, b);
    return crc32c(QByteArrayView(b, 4), whole);
}

QByteArray encodedFolder(const QString& path)
{
    return QFile::encodeName(QFileInfo(path).absolutePath());
}

Result<void> syncFolder(const QByteArray& folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return failure(systemReason());
    // Some file systems cannot sync a folder at all; that is no reason to refuse a save.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    if (!synced)
        return failure(systemReason(error));
    return {};
}

} // namespace

QString undoJournalPath(const QString& imagePath)
{
    // Beside the image file itself, so every link to it finds the same journal.
    const QString real = QFileInfo(imagePath).canonicalFilePath();
    return (real.isEmpty() ? imagePath : real) + QStringLiteral(".velmora-undo");
}

QByteArray encodeUndoJournal(const UndoJournal& journal)
{
    qsizetype total = kHeaderBytes + kTrailerBytes;
    for (const UndoRecord& r : journal.records)
        total += kRecordHeadBytes + 4 * r.newSectorChecksums.size() + r.oldBytes.size() + 4;

    QByteArray out;
    out.reserve(total);
    out.append(kHeaderMagic.data(), kHeaderMagic.size());
    put32(out, quint32(kSectorSize));
    put32(out, quint32(journal.records.size()));
    put64(out, quint64(journal.deviceSize));
    put64(out, quint64(total));
    const quint32 headerSum = crc32c(out);
    put32(out, headerSum);
    quint32 whole = chain(0, headerSum);

    for (const UndoRecord& r : journal.records) {
        const qsizetype start = out.size();
        put64(out, quint64(r.offset));
        put32(out, quint32(r.oldBytes.size()));
        for (const quint32 sum : r.newSectorChecksums)
            put32(out, sum);
        out.append(r.oldBytes);
        const quint32 recordSum = crc32c(QByteArrayView(out).sliced(start));
        put32(out, recordSum);
        whole = chain(whole, recordSum);
    }
    out.append(kTrailerMagic.data(), kTrailerMagic.size());
    put32(out, whole);
    return out;
}

Result<UndoJournal> decodeUndoJournal(QByteArrayView in)
{
    if (in.size() < kHeaderBytes + kTrailerBytes || in.first(kHeaderMagic.size()) != kHeaderMagic)
        return failure(QStringLiteral("it is not a whole undo journal"));
    const quint32 headerSum = get32(in, kHeaderBytes - 4);
    if (crc32c(in.first(kHeaderBytes - 4)) != headerSum)
        return failure(QStringLiteral("its header is damaged"));
    if (get32(in, 8) != quint32(kSectorSize) || get64(in, 24) != quint64(in.size()))
        return failure(QStringLiteral("it was cut short"));
    const quint32 count = get32(in, 12);
    UndoJournal journal;
    journal.deviceSize = qint64(qMin(get64(in, 16), quint64(std::numeric_limits<qint64>::max())));

    quint32 whole = chain(0, headerSum);
    qsizetype at = kHeaderBytes;
    const qsizetype end = in.size() - kTrailerBytes;
    for (quint32 i = 0; i < count; ++i) {
        if (end - at < kRecordHeadBytes)
            return failure(QStringLiteral("a record is cut short"));
        const quint64 offset = get64(in, at);
        const qsizetype length = get32(in, at + 8);
        const qsizetype sectors = sectorsIn(length);
        // Lengths are bounded by the file's own size, so no sum below can overflow.
        if (length == 0 || length > end - at || kRecordHeadBytes + 4 * sectors + length + 4 > end - at)
            return failure(QStringLiteral("a record is cut short"));
        const qsizetype sumsAt = at + kRecordHeadBytes;
        const qsizetype dataAt = sumsAt + 4 * sectors;
        const quint32 recordSum = get32(in, dataAt + length);
        if (crc32c(in.sliced(at, dataAt + length - at)) != recordSum)
            return failure(QStringLiteral("a record is damaged"));
        UndoRecord record;
        record.offset = qint64(qMin(offset, quint64(std::numeric_limits<qint64>::max())));
        record.oldBytes = in.sliced(dataAt, length).toByteArray();
        record.newSectorChecksums.reserve(sectors);
        for (qsizetype s = 0; s < sectors; ++s)
            record.newSectorChecksums.append(get32(in, sumsAt + 4 * s));
        journal.records.append(std::move(record));
        whole = chain(whole, recordSum);
        at = dataAt + length + 4;
    }
    if (at != end || in.sliced(end, kTrailerMagic.size()) != kTrailerMagic ||
        get32(in, end + kTrailerMagic.size()) != whole)
        return failure(QStringLiteral("its end is missing or damaged"));
    return journal;
}

Result<void> checkJournalFits(const UndoJournal& journal, qint64 deviceSize)
{
    if (journal.deviceSize != deviceSize)
        return failure(QStringLiteral("it was written for a disk of %1 bytes, and this one has %2")
                           .arg(journal.deviceSize)
                           .arg(deviceSize));
    qint64 next = 0;
    for (const UndoRecord& r : journal.records) {
        const qint64 length = r.oldBytes.size();
        if (r.offset < next || r.offset % kSectorSize != 0 || r.offset > deviceSize - length ||
            (length % kSectorSize != 0 && r.offset + length != deviceSize))
            return failure(
                QStringLiteral("it names bytes at %1 that are not sectors of this disk").arg(r.offset));
        next = r.offset + length;
    }
    return {};
}

Result<void> writeUndoJournal(const QString& path, QByteArrayView encoded)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return failure(systemReason());
    auto abandon = [&](int error) -> Result<void> {
        ::close(fd);
        ::unlink(name.constData());
        return failure(systemReason(error));
    };
    const char* data = encoded.data();
    qsizetype left = encoded.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return abandon(n < 0 ? errno : ENOSPC);
        data += n;
        left -= n;
    }
    // Synced before the first sector is overwritten: after a crash its bytes are all that can
    // put the old sectors back.
    if (::fsync(fd) != 0)
        return abandon(errno);
    ::close(fd);
    // The journal's name must be on disk too, or a crash could lose the file it names (many
    // file systems store it with the file's sync, but nothing promises that).
    if (const Result<void> synced = syncFolder(encodedFolder(path)); !synced) {
        ::unlink(name.constData());
        return synced;
    }
    return {};
}

Result<Found<QByteArray>> readUndoJournal(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return Found<QByteArray>::missing();
        return failure(systemReason());
    }
    struct stat st {};
    QString refused;
    if (::fstat(fd, &st) != 0)
        refused = systemReason();
    else if (!S_ISREG(st.st_mode))
        refused = QStringLiteral("it is not a plain file");
    else if (st.st_size > kMaxUndoJournalBytes)
        refused = QStringLiteral("it is larger than any undo journal Velmora writes");
    QByteArray bytes;
    if (refused.isEmpty()) {
        bytes.resize(qsizetype(st.st_size));
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::pread(fd, bytes.data() + got, size_t(bytes.size() - got), got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                // A file that shrank while read is cut short; decoding says so.
                if (n < 0)
                    refused = systemReason();
                bytes.truncate(got);
                break;
            }
            got += n;
        }
    }
    ::close(fd);
    if (!refused.isEmpty())
        return failure(refused);
    return found(std::move(bytes));
}

Result<void> removeUndoJournal(const QString& path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        return failure(systemReason());
    // The folder is not synced: should a crash undo the removal, the journal comes back and the
    // next opening plays it over sectors that hold the save's bytes, putting the old state
    // back, still whole. The next journal's creation syncs the folder, removal and all.
    return {};
}

} // namespace velmora
