#include "platform/HiveStore.h"

#include "platform/AtomicFile.h"
#include "platform/Backups.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

#include <QFile>
#include <QFileInfo>

#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

HiveStore::HiveStore(QString filePath)
    : m_path(std::move(filePath)), m_lock(QFileInfo(m_path).absolutePath(), FileLock::On::Folder),
      m_watch(m_path)
{
}

QString HiveStore::fileName() const
{
    return QFileInfo(m_path).fileName();
}

void HiveStore::refresh()
{
    if (m_watch.changedSince(m_loaded, [this] { return FileIdentity::of(m_path); }))
        load();
}

void HiveStore::load()
{
    m_image = HiveImage();
    m_damage.clear();
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_loaded = FileIdentity::of(m_path);
        m_damage = QStringLiteral("%1 cannot be read: %2").arg(fileName(), file.errorString());
        return;
    }
    m_loaded = FileIdentity::ofOpen(file.handle());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_damage = QStringLiteral("%1 cannot be read: %2").arg(fileName(), file.errorString());
        return;
    }
    auto parsed = HiveImage::parse(std::move(bytes));
    if (!parsed) {
        m_damage = QStringLiteral("%1 is damaged: %2").arg(fileName(), parsed.reason());
        return;
    }
    m_image = std::move(parsed).value();
}

// Takes the lock and re-reads a changed file: ERROR_SUCCESS when the file may be written.
long HiveStore::prepareWrite(const FileLockGuard& guard, QString& reason)
{
    if (!guard.ok()) {
        reason = guard.reason();
        return ERROR_ACCESS_DENIED;
    }
    refresh();
    if (isDamaged()) {
        reason = m_damage;
        return ERROR_ACCESS_DENIED;
    }
    // A file marked read-only (as FAT's attribute shows on Linux) is kept so, even for root.
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) == 0 &&
        (!(st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ||
         ::access(QFile::encodeName(m_path).constData(), W_OK) != 0)) {
        reason = QStringLiteral("%1 is read-only").arg(fileName());
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

// Reads the changed bytes back, and only when they pass every check replaces the file.
long HiveStore::install(QByteArray bytes, QString& reason)
{
    auto checked = HiveImage::parse(std::move(bytes));
    if (!checked) {
        reason = QStringLiteral("%1 was left as it was: the changed file failed its check (%2)")
                     .arg(fileName(), checked.reason());
        return ERROR_ACCESS_DENIED;
    }
    if (m_backups) {
        if (const Result<void> kept = m_backups->beforeChange(m_path); !kept) {
            reason = kept.reason();
            return ERROR_ACCESS_DENIED;
        }
    }
    removeStaleTemporaries(m_path);
    const Result<std::optional<FileIdentity>> written =
        replaceFileIfUnchanged(m_path, checked->bytes(), m_loaded);
    if (!written) {
        reason = written.reason();
        return ERROR_ACCESS_DENIED;
    }
    if (!written->has_value()) {
        reason = QStringLiteral("%1 was changed by another program meanwhile; nothing was written")
                     .arg(fileName());
        return ERROR_ACCESS_DENIED;
    }
    m_loaded = **written;
    if (m_backups)
        (void)m_backups->afterChange(m_path,
                                     checked->bytes()); // the change stands; only its digest is missing
    m_image = std::move(checked).value();
    m_watch.look(); // the events of this write are not news
    return ERROR_SUCCESS;
}

long HiveStore::setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type, QByteArrayView data,
                         QString& reason)
{
    FileLockGuard guard(m_lock);
    if (const long r = prepareWrite(guard, reason); r != ERROR_SUCCESS)
        return r;
    const int key = findKey(foldedKeyPath);
    if (key < 0) {
        reason = QStringLiteral("the key has been deleted");
        return ERROR_KEY_DELETED;
    }
    quint32 oldType = 0;
    QByteArray oldData;
    if (readValue(key, name, oldType, oldData) && oldType == type && oldData == data)
        return ERROR_SUCCESS;
    auto changed = m_image.withValue(key, name, type, data);
    if (!changed) {
        reason = QStringLiteral("%1: %2").arg(fileName(), changed.reason());
        return ERROR_ACCESS_DENIED;
    }
    return install(std::move(changed).value(), reason);
}

long HiveStore::createKey(QByteArrayView path, QString& reason)
{
    QByteArray display, folded;
    regfile::normalisePath(path, display, folded);
    FileLockGuard guard(m_lock);
    if (const long r = prepareWrite(guard, reason); r != ERROR_SUCCESS)
        return r;
    if (findKey(folded) >= 0)
        return ERROR_SUCCESS;

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
            if (!bytes) {
                reason = QStringLiteral("%1: %2").arg(fileName(), bytes.reason());
                return ERROR_ACCESS_DENIED;
            }
            auto parsed = HiveImage::parse(std::move(bytes).value());
            if (!parsed) {
                reason = QStringLiteral("%1 was left as it was: the changed file failed its check (%2)")
                             .arg(fileName(), parsed.reason());
                return ERROR_ACCESS_DENIED;
            }
            next = std::move(parsed).value();
            image = &*next;
            parent = image->findKey(QByteArrayView(folded).first(to));
        }
        from = to + 1;
    }
    return install(image->bytes(), reason);
}

} // namespace velmora
