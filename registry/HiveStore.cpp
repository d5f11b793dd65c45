#include "registry/HiveStore.h"

#include "files/AtomicFile.h"
#include "files/Drive.h"
#include "files/HostFile.h"
#include "machine/Backups.h"
#include "regedit4/RegistryFile.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

namespace velmora {

HiveStore::HiveStore(QString filePath, const QString& within)
    : m_path(std::move(filePath)), m_within(within.isEmpty() ? QFileInfo(m_path).absolutePath() : within),
      m_watch(m_path)
{
}

HiveStore::HiveStore(QString filePath, Drive& drive)
    : m_path(std::move(filePath)), m_drive(&drive), m_watch(QString())
{
}

QString HiveStore::fileName() const
{
    return shownInMessage(m_drive ? m_path.mid(m_path.lastIndexOf(u'\\') + 1) : QFileInfo(m_path).fileName());
}

void HiveStore::refresh()
{
    if (m_drive) {
        // Nobody else changes the file while the drive is held; the first call reads it.
        if (m_image.bytes().isEmpty() && m_damage.isEmpty())
            loadBytes(m_drive->readIfPresent(m_path, kMaxHiveSize));
        return;
    }
    if (m_writes.seen() || m_watch.changedSince(m_loaded, [this] { return FileIdentity::of(m_path); }))
        load();
}

void HiveStore::load()
{
    m_image = HiveImage();
    m_damage.clear();
    m_writes = FileWrites(m_path); // before the read: every write from then on is seen
    Result<HostFileContents> read = readHostFileIfPresent(m_path, HostFileRules{kMaxHiveSize, m_within});
    if (read && !read->bytes.isPresent())
        read = failure(QStringLiteral("the file does not exist"));
    if (!read) {
        m_loaded = FileIdentity::of(m_path);
        m_damage = QStringLiteral("%1 cannot be read: %2").arg(fileName(), read.reason());
        return;
    }
    m_loaded = read->identity;
    loadBytes(std::move(read->bytes));
}

void HiveStore::loadBytes(Result<Found<QByteArray>> read)
{
    m_image = HiveImage();
    m_damage.clear();
    if (read && !read->isPresent())
        read = failure(QStringLiteral("the file does not exist"));
    if (!read) {
        m_damage = QStringLiteral("%1 cannot be read: %2").arg(fileName(), read.reason());
        return;
    }
    auto parsed = HiveImage::parse(std::move(read->value));
    if (!parsed) {
        m_damage = QStringLiteral("%1 is damaged: %2").arg(fileName(), parsed.reason());
        return;
    }
    m_image = std::move(parsed).value();
}

// Makes the change on the file as it is now, and again on another program's version when that
// program changed it meanwhile; only bytes that pass every check replace the file.
Result<void> HiveStore::write(const Change& change)
{
    if (m_drive)
        return writeOnDrive(change);
    return guardedWrite(m_path, WriteGuard{m_within}, [&](const QString& target) -> Result<Attempt> {
        refresh();
        if (isDamaged())
            return failure(m_damage);
        Result<Checked> checked = checkedChange(change, target);
        if (!checked)
            return failure(checked.reason());
        if (checked->keep)
            return Attempt::Done;
        const HiveImage& image = checked->image;
        // The watch also sees a write in place within one tick of the clock, which the file's
        // identity may not show.
        const bool seen = m_watch.look() == FileChangeWatch::Seen::Change;
        Result<Replacement> put =
            seen ? Replacement{Attempt::FileChanged}
                 : replaceFileIfUnchanged(target, image.bytes(), m_loaded, &m_writes, ReadOnlyFile::Written);
        if (!put)
            return failure(put.reason());
        if (put->outcome == Attempt::FileChanged) {
            load();
            return Attempt::FileChanged;
        }
        m_loaded = put->identity;
        m_writes = std::move(put->writes);
        m_watch.ownWrite();
        if (m_backups) // the change stands; only its digest is missing should this fail
            (void)m_backups->afterChange(target, image.bytes());
        m_image = std::move(checked->image);
        return Attempt::Done;
    });
}

Result<HiveStore::Checked> HiveStore::checkedChange(const Change& change, const QString& target)
{
    Result<FileChange> bytes = change();
    if (!bytes)
        return failure(bytes.reason());
    if (bytes->kind == FileChange::Kind::Keep)
        return Checked{true, {}};
    auto checked = HiveImage::parse(std::move(bytes->bytes));
    if (!checked)
        return failure(QStringLiteral("%1 was left as it was: the changed file failed its check (%2)")
                           .arg(fileName(), checked.reason()));
    if (m_backups) {
        if (const Result<void> kept = m_backups->beforeChange(target); !kept)
            return failure(kept.reason());
    }
    return Checked{false, std::move(checked).value()};
}

// The drive reads the file as it is now: a change made since it was loaded here is kept, and
// this change made again on it.
Result<void> HiveStore::writeOnDrive(const Change& change)
{
    std::optional<HiveImage> written;
    const Result<void> edited = m_drive->edit(
        m_path,
        [&](const Found<QByteArray>& current) -> Result<FileChange> {
            if (!current.isPresent() || current.value != m_image.bytes())
                loadBytes(current);
            if (isDamaged())
                return failure(m_damage);
            Result<Checked> checked = checkedChange(change, m_path);
            if (!checked)
                return failure(checked.reason());
            if (checked->keep)
                return FileChange::keep();
            written = std::move(checked->image);
            return FileChange::replaceWith(written->bytes());
        },
        ReadOnlyFile::Written);
    if (edited && written) {
        if (m_backups) // the change stands; only its digest is missing should this fail
            (void)m_backups->afterChange(m_path, written->bytes());
        m_image = std::move(*written);
    }
    return edited;
}

Result<Written> HiveStore::setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                                    QByteArrayView data)
{
    bool keyGone = false;
    const Result<void> written = write([&]() -> Result<FileChange> {
        const int key = findKey(foldedKeyPath);
        keyGone = key < 0;
        quint32 oldType = 0;
        QByteArray oldData;
        if (keyGone || (readValue(key, name, oldType, oldData) && oldType == type && oldData == data))
            return FileChange::keep();
        auto changed = m_image.withValue(key, name, type, data);
        if (!changed)
            return failure(QStringLiteral("%1: %2").arg(fileName(), changed.reason()));
        return FileChange::replaceWith(std::move(changed).value());
    });
    if (!written)
        return failure(written.reason());
    return keyGone ? Written::KeyGone : Written::Done;
}

Result<void> HiveStore::createKey(QByteArrayView path)
{
    QByteArray display, folded;
    regfile::normalisePath(path, display, folded);
    return write([&]() -> Result<FileChange> {
        if (findKey(folded) >= 0)
            return FileChange::keep();
        // Each missing key is added to the image the one before it gave; the file is written once.
        std::optional<HiveImage> next;
        const HiveImage* image = &m_image;
        int parent = kRootKey;
        qsizetype from = 0;
        while (from < display.size()) {
            qsizetype to = display.indexOf('\\', from);
            if (to < 0)
                to = display.size();
            const int existing = image->findKey(QByteArrayView(folded).first(to));
            if (existing >= 0) {
                parent = existing;
            } else {
                auto bytes = image->withSubkey(parent, QByteArrayView(display).sliced(from, to - from));
                if (!bytes)
                    return failure(QStringLiteral("%1: %2").arg(fileName(), bytes.reason()));
                auto parsed = HiveImage::parse(std::move(bytes).value());
                if (!parsed)
                    return failure(
                        QStringLiteral("%1 was left as it was: the changed file failed its check (%2)")
                            .arg(fileName(), parsed.reason()));
                next = std::move(parsed).value();
                image = &*next;
                parent = image->findKey(QByteArrayView(folded).first(to));
            }
            from = to + 1;
        }
        return FileChange::replaceWith(image->bytes());
    });
}

} // namespace velmora
