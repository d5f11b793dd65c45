#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace velmora {

// One file of a backup, as its manifest records it.
struct BackedUpFile {
    QString path;             // the file on the host
    QString copy;             // the copy's name in the backup folder; empty: the file did not exist
    QByteArray copySha256;    // hex digest of the copy (empty when the file did not exist)
    QByteArray writtenSha256; // hex digest of what Velmora last wrote (empty: nothing written)
    int permissions = 0;      // QFile::Permissions of the file as it was
};

// One run's backup: <backups>/<date-time>/ with the copies and manifest.json.
struct Backup {
    QString name;    // the folder's name, the local date and time it was made
    QString folder;  // its host path
    QString machine; // the machine's root
    QList<BackedUpFile> files;
};

// The backups of one run. Before the first change the run makes to a file, the file as it was is
// copied into the run's backup folder (made on that first need, so a run that changes nothing
// leaves none); after each change, a digest of what was written is recorded, so that a restore
// can tell whether the file still holds what Velmora left there. The copies and the manifest are
// written atomically.
class BackupSession {
public:
    BackupSession(QString backupsFolder, const QString& machineRoot);

    // <XDG data home>/velmora/backups
    static QString defaultLocation();

    // Call before changing the file at hostPath. The first call for a file keeps its copy (or
    // notes that it does not exist); later calls do nothing. A failure must stop the change:
    // without a backup the file is not to be touched.
    Result<void> beforeChange(const QString& hostPath);
    // Call after the file at hostPath was replaced by written.
    Result<void> afterChange(const QString& hostPath, QByteArrayView written);

    // The run's backup folder; empty until something was backed up.
    const QString& folder() const { return m_backup.folder; }

private:
    Result<void> makeFolder();
    Result<void> saveManifest();

    QString m_backupsFolder;
    Backup m_backup;
    QHash<QString, qsizetype> m_index; // absolute host path -> entry in m_backup.files
};

// Every backup in the folder, oldest first. A folder without a readable manifest is skipped.
Result<QList<Backup>> listBackups(const QString& backupsFolder);

// What a restore did, file by file (host paths).
struct RestoreOutcome {
    QString backup;        // the backup's name
    QStringList restored;  // put back as it was (or removed, when it did not exist before)
    QStringList unchanged; // already as it was
    QStringList leftAlone; // changed since Velmora wrote it; only --force puts it back
    QStringList failed;    // "path: reason"
};

// Puts a backup back: the named one, else the newest of machineRoot, else (machineRoot empty)
// the newest of all. A file is put back only while it still holds exactly what Velmora last
// wrote, unless force. Writes are atomic and keep the file's permissions.
Result<RestoreOutcome> restoreBackup(const QString& backupsFolder, const QString& name,
                                     const QString& machineRoot, bool force);

} // namespace velmora
