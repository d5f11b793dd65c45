#pragma once

#include "core/Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace velmora {

class MachineFolder;

// One file of a backup, as its manifest records it.
struct BackedUpFile {
    QString path;             // the file's path inside the machine ("drive_c/WINDOWS/WIN.INI")
    QString copy;             // the copy's name in the backup folder; empty: the file did not exist
    QByteArray copySha256;    // hex digest of the copy (empty when the file did not exist)
    QByteArray writtenSha256; // hex digest of what Velmora last wrote (empty: nothing written)
    int permissions = 0;      // QFile::Permissions of the file as it was
};

// One run's backup: <backups>/<date-time>/ with the copies and manifest.json.
struct Backup {
    QString name;    // the folder's name, the local date and time it was made
    QString folder;  // its host path
    QString machine; // the machine's root (absolute)
    QList<BackedUpFile> files;
    QString damage; // why its manifest cannot be used; empty when it can (then machine and files hold)

    // The host path of a file of this backup's machine.
    QString hostPath(const BackedUpFile& file) const { return machine + u'/' + file.path; }
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

private:
    Result<void> makeFolder();
    Result<void> saveManifest();
    // The path of hostPath inside the machine, as the manifest records it; empty when outside.
    QString insideMachine(const QString& hostPath) const;

    QString m_backupsFolder;
    Backup m_backup;
    QHash<QString, qsizetype> m_index; // path inside the machine -> entry in m_backup.files
};

// The session a machine's writers back up through: none on a disk image, whose files lie in the
// image rather than in host files a backup copies and restores. Each save to an image is still
// one transaction (its undo journal), so a crash never leaves a torn file there.
BackupSession* backupsOf(const MachineFolder& machine, BackupSession& session);

// Every backup in the folder, oldest first, those whose manifest fails its check included
// (with the reason in damage). Folders not named as Velmora names its backups are not listed.
Result<QList<Backup>> listBackups(const QString& backupsFolder);

// Removes the backups of machineRoot beyond the newest `keep` (the folder `spare` is never
// removed); in every other backup folder, removes the temporary files interrupted writes left
// behind and lets only the owner in (0700).
void pruneBackups(const QString& backupsFolder, const QString& machineRoot, int keep,
                  const QString& spare = {});

// What a restore did, file by file (host paths).
struct RestoreOutcome {
    QString backup;        // the backup's name
    QStringList restored;  // put back as it was (or removed, when it did not exist before)
    QStringList unchanged; // already as it was
    QStringList leftAlone; // changed since Velmora wrote it; only --force puts it back
    QStringList missing;   // gone since Velmora wrote it; only --force puts it back
    QStringList failed;    // "path: reason"
};

// Puts a backup back: the named one, else the newest of machineRoot, else (machineRoot empty)
// the newest of all. A manifest is checked whole before anything is touched; a damaged one is
// refused, as is choosing the newest while a newer backup is damaged. Only files inside the
// machine are written or removed, never through a link leading out of it, and copies are read
// only from the backup's own folder, never through a link. A file is put back only while it
// still holds exactly what Velmora last wrote, unless force. Writes are atomic and keep the
// file's permissions.
Result<RestoreOutcome> restoreBackup(const QString& backupsFolder, const QString& name,
                                     const QString& machineRoot, bool force);

} // namespace velmora
