#pragma once

#include "core/Found.h"
#include "core/Result.h"
#include "machine/MachineFolder.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace velmora {

class Drive;

// One file of a backup, as its manifest records it.
struct BackedUpFile {
    // The file's path inside the machine ("drive_c/WINDOWS/WIN.INI"), or on a disk image its
    // path on drive C ("WINDOWS\WIN.INI").
    QString path;
    QString copy;             // the copy's name in the backup folder; empty: the file did not exist
    QByteArray copySha256;    // hex digest of the copy (empty when the file did not exist)
    QByteArray writtenSha256; // hex digest of what Velmora last wrote (empty: nothing written)
    int permissions = 0;      // QFile::Permissions of the file as it was (0 on a disk image)
};

// One run's backup: <backups>/<date-time>/ with the copies and manifest.json.
struct Backup {
    QString name;                 // the folder's name, the local date and time it was made
    QString folder;               // its host path
    QString machine;              // the machine's root, or its disk image (absolute)
    std::optional<int> partition; // on a disk image, the partition of drive C (0: the whole disk)
    QList<BackedUpFile> files;
    QString damage; // why its manifest cannot be used; empty when it can (then machine and files hold)

    // A file of this backup's machine as the user finds it: its host path, or on a disk image
    // its path on drive C and the image.
    QString shownPath(const BackedUpFile& file) const;
};

// How many backups of one machine are kept: when a run makes its backup, older ones beyond
// this number are removed.
constexpr int kBackupsKept = 20;

// The backups of one run. Before the first change the run makes to a file, the file as it was is
// copied into the run's backup folder (made on that first need, so a run that changes nothing
// leaves none); after each change, a digest of what was written is recorded, so that a restore
// can tell whether the file still holds what Velmora left there. The copies and the manifest are
// written atomically and only their owner may read them (folder 0700, files 0600). Making the
// folder prunes the machine's older backups to kBackupsKept and sweeps what interrupted writes
// left in every backup folder.
class BackupSession {
public:
    BackupSession(QString backupsFolder, const QString& machineRoot);

    // <XDG data home>/velmora/backups
    static QString defaultLocation();

    // Call before changing the file at hostPath, which must lie inside the machine. The first
    // call for a file keeps its copy (or notes that it does not exist); later calls do nothing.
    // A failure must stop the change: without a backup the file is not to be touched.
    Result<void> beforeChange(const QString& hostPath);
    // Call after the file at hostPath was replaced by written.
    Result<void> afterChange(const QString& hostPath, QByteArrayView written);

    // The run's backup folder; empty until something was backed up.
    const QString& folder() const { return m_backup.folder; }

    // The machine is a disk image: its files are drive paths ("WINDOWS\WIN.INI") read through
    // its drive, and the manifest names the partition as well as the image.
    void keepFromImage(Drive& drive, int partition);

private:
    Result<void> makeFolder();
    Result<void> saveManifest();
    // The path of hostPath inside the machine, as the manifest records it; empty when outside.
    QString insideMachine(const QString& hostPath) const;
    Result<Found<QByteArray>> readAsItIs(const QString& path) const;

    QString m_backupsFolder;
    Drive* m_image = nullptr; // the image's drive C; none on a folder or drive
    Backup m_backup;
    QHash<QString, qsizetype> m_index; // path inside the machine -> entry in m_backup.files
};

// The session a machine's writers back up through, told where the machine's files are read: on
// a disk image, through the image's drive (none when the image could not be opened: nothing can
// be written then).
BackupSession* backupsOf(const MachineFolder& machine, BackupSession& session);

// Every backup in the folder, oldest first, those whose manifest fails its check included
// (with the reason in damage). Folders not named as Velmora names its backups are not listed.
Result<QList<Backup>> listBackups(const QString& backupsFolder);

// Removes the backups of machineRoot beyond the newest `keep` (the folder `spare` is never
// removed); in every other backup folder, removes the temporary files interrupted writes left
// behind and lets only the owner in (0700).
void pruneBackups(const QString& backupsFolder, const QString& machineRoot, int keep,
                  const QString& spare = {});

// What a restore did, file by file (as Backup::shownPath shows them).
struct RestoreOutcome {
    QString backup;        // the backup's name
    QStringList restored;  // put back as it was (or removed, when it did not exist before)
    QStringList unchanged; // already as it was
    QStringList leftAlone; // changed since Velmora wrote it; only --force puts it back
    QStringList missing;   // gone since Velmora wrote it; only --force puts it back
    QStringList failed;    // "path: reason"
};

// Puts a backup back: the named one, else the newest of the machine, else (its root empty) the
// newest of all. A manifest is checked whole before anything is touched; a damaged one is
// refused, as is choosing the newest while a newer backup is damaged. Only files inside the
// machine are written or removed, never through a link leading out of it, and copies are read
// only from the backup's own folder, never through a link. A file is put back only while it
// still holds exactly what Velmora last wrote, unless force. Writes go through the machine's
// drive: atomic on the host, keeping the file's permissions; on a disk image, one save of the
// image each, and only on the partition the backup names, which must be the one the image is
// opened on (the machine's partition, else the one Windows is found on).
Result<RestoreOutcome> restoreBackup(const QString& backupsFolder, const QString& name,
                                     const MachineName& machine, bool force);

} // namespace velmora
