#pragma once

#include "core/Found.h"
#include "core/Result.h"
#include "creg/HiveImage.h"
#include "files/AtomicFile.h"
#include "files/FileChangeWatch.h"
#include "files/FileIdentity.h"
#include "files/FileWrites.h"
#include "registry/RegistryBackend.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace velmora {

class Drive;

// HKEY_LOCAL_MACHINE as kept in the binary SYSTEM.DAT of a Windows 95/98/Me drive, with the
// same surface and meanings as RegistryStore. The file is read whole and checked; a change is
// made surgically on its bytes (HiveImage), the result is read back and checked again, and only
// then does it replace the file, under the write protocol every writer follows (guardedWrite).
// A file that is missing, unreadable, larger than kMaxHiveSize, something other than an
// ordinary file, outside the drive or failing the check is "damaged": served as an empty
// registry, never written, and damage() names the file and the reason.
class HiveStore final : public RegistryBackend {
public:
    // A Windows 9x SYSTEM.DAT holds a few MB (the largest known ones stay below 16 MB); anything
    // beyond this is refused unread rather than taken into memory.
    static constexpr qint64 kMaxHiveSize = qint64(64) << 20;

    // The file, and the folder it must lie in (the drive; its own folder when not given): a link
    // leading out of that folder is neither read nor written.
    explicit HiveStore(QString filePath, const QString& within = {});
    // The file on a drive that only Velmora changes while it is open (a disk image it holds):
    // read and written through the drive, which outlives the store.
    HiveStore(QString filePath, Drive& drive);
    HiveStore(const HiveStore&) = delete;
    HiveStore& operator=(const HiveStore&) = delete;

    const QString& filePath() const override { return m_path; }

    // Reads the file again when it changed on disk since it was last read or written.
    void setBackups(BackupSession* backups) override { m_backups = backups; }
    void refresh() override;

    bool isDamaged() const override { return !m_damage.isEmpty(); }
    const QString& damage() const override { return m_damage; }

    int findKey(QByteArrayView foldedPath) const override { return m_image.findKey(foldedPath); }
    QByteArray keyPath(int key) const override { return m_image.keyPath(key); }
    bool readValue(int key, QByteArrayView name, quint32& type, QByteArray& data) const override
    {
        return m_image.readValue(key, name, type, data);
    }

    // Creates the key and every missing key above it; the keys that exist keep their spelling.
    Result<void> createKey(QByteArrayView path) override;
    // Sets a value of an existing key. KeyGone when the key is gone.
    Result<Written> setValue(QByteArrayView foldedKeyPath, QByteArrayView name, quint32 type,
                             QByteArrayView data) override;

    // The keys and values as last read or written, for enumeration.
    const HiveImage& image() const { return m_image; }

private:
    // The bytes of the changed file (or keep it when nothing changes), made on the image as it is.
    using Change = std::function<Result<FileChange>()>;
    void load();
    Result<void> write(const Change& change);
    Result<void> writeOnDrive(const Change& change);
    // The change made and checked, the file at target backed up before it: keep when the change
    // leaves the file as it is.
    struct Checked {
        bool keep = false;
        HiveImage image;
    };
    Result<Checked> checkedChange(const Change& change, const QString& target);
    void loadBytes(Result<Found<QByteArray>> read);
    QString fileName() const;

    QString m_path;
    QString m_within;
    Drive* m_drive = nullptr;
    FileChangeWatch m_watch;
    FileWrites m_writes; // into the file as loaded or last written
    HiveImage m_image;
    FileIdentity m_loaded;
    BackupSession* m_backups = nullptr;
    QString m_damage;
};

} // namespace velmora
