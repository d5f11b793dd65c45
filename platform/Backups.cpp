#include "platform/Backups.h"

#include "platform/AtomicFile.h"
#include "platform/HostFile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

namespace velmora {
namespace {

const QString kManifest = QStringLiteral("manifest.json");

QByteArray sha256(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QString absolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QByteArray manifestBytes(const Backup& backup)
{
    QJsonArray files;
    for (const BackedUpFile& file : backup.files) {
        files.append(QJsonObject{{QStringLiteral("path"), file.path},
                                 {QStringLiteral("copy"), file.copy},
                                 {QStringLiteral("sha256"), QString::fromLatin1(file.copySha256)},
                                 {QStringLiteral("written_sha256"), QString::fromLatin1(file.writtenSha256)},
                                 {QStringLiteral("permissions"), file.permissions}});
    }
    return QJsonDocument(
               QJsonObject{{QStringLiteral("machine"), backup.machine}, {QStringLiteral("files"), files}})
        .toJson();
}

Result<Backup> readBackup(const QString& folder)
{
    const QString manifest = folder + u'/' + kManifest;
    const Result<QByteArray> bytes = readHostFile(manifest);
    if (!bytes)
        return failure(QStringLiteral("%1: %2").arg(manifest, bytes.reason()));
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(*bytes, &error).object();
    if (error.error != QJsonParseError::NoError)
        return failure(QStringLiteral("%1: %2").arg(manifest, error.errorString()));
    Backup backup{QFileInfo(folder).fileName(), folder, root.value(QStringLiteral("machine")).toString(), {}};
    for (const QJsonValue& value : root.value(QStringLiteral("files")).toArray()) {
        const QJsonObject file = value.toObject();
        backup.files.append({file.value(QStringLiteral("path")).toString(),
                             file.value(QStringLiteral("copy")).toString(),
                             file.value(QStringLiteral("sha256")).toString().toLatin1(),
                             file.value(QStringLiteral("written_sha256")).toString().toLatin1(),
                             file.value(QStringLiteral("permissions")).toInt()});
    }
    return backup;
}

// Puts one file back as the backup holds it; "" when done, else why not.
QString putBack(const Backup& backup, const BackedUpFile& file)
{
    if (file.copy.isEmpty()) {
        if (!QFile::remove(file.path) && QFileInfo::exists(file.path))
            return QStringLiteral("it could not be removed");
        return {};
    }
    const Result<QByteArray> bytes = readHostFile(backup.folder + u'/' + file.copy);
    if (!bytes)
        return QStringLiteral("the backup's copy cannot be read: %1").arg(bytes.reason());
    if (sha256(*bytes) != file.copySha256)
        return QStringLiteral("the backup's copy %1 is damaged (its SHA-256 does not match the manifest)")
            .arg(backup.folder + u'/' + file.copy);
    const bool existed = QFileInfo::exists(file.path);
    if (const Result<void> written = writeFileAtomically(file.path, *bytes); !written)
        return written.reason();
    if (!existed) // an existing file keeps its own permissions; a recreated one gets the old ones
        QFile::setPermissions(file.path, QFile::Permissions(file.permissions));
    return {};
}

} // namespace

BackupSession::BackupSession(QString backupsFolder, const QString& machineRoot)
    : m_backupsFolder(std::move(backupsFolder))
{
    m_backup.machine = absolute(machineRoot);
}

QString BackupSession::defaultLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/velmora/backups");
}

Result<void> BackupSession::makeFolder()
{
    std::error_code error;
    std::filesystem::create_directories(QFile::encodeName(m_backupsFolder).toStdString(), error);
    if (error)
        return failure(QStringLiteral("the backup folder %1 cannot be made: %2")
                           .arg(m_backupsFolder, QString::fromLocal8Bit(error.message())));
    // One folder per run, named by the time it was made; mkdir refuses a name already taken.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss.zzz"));
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            attempt == 0 ? stamp : stamp + QStringLiteral("-%1").arg(attempt, 2, 10, QChar(u'0'));
        const QString folder = m_backupsFolder + u'/' + name;
        if (std::filesystem::create_directory(QFile::encodeName(folder).toStdString(), error)) {
            m_backup.name = name;
            m_backup.folder = folder;
            return {};
        }
        if (error && error != std::errc::file_exists)
            break; // not a taken name: another name will not help
    }
    return failure(QStringLiteral("the backup folder %1 cannot be made: %2")
                       .arg(m_backupsFolder + u'/' + stamp, error ? QString::fromLocal8Bit(error.message())
                                                                  : QStringLiteral("the name is taken")));
}

Result<void> BackupSession::saveManifest()
{
    const QString path = m_backup.folder + u'/' + kManifest;
    if (const Result<void> written = writeFileAtomically(path, manifestBytes(m_backup)); !written)
        return failure(
            QStringLiteral("the backup manifest %1 cannot be written: %2").arg(path, written.reason()));
    return {};
}

Result<void> BackupSession::beforeChange(const QString& hostPath)
{
    const QString path = absolute(hostPath);
    if (m_index.contains(path))
        return {};
    if (m_backup.folder.isEmpty()) {
        if (Result<void> made = makeFolder(); !made)
            return made;
    }

    BackedUpFile entry{path, {}, {}, {}, int(QFileInfo(path).permissions())};
    if (QFileInfo::exists(path)) {
        const Result<QByteArray> bytes = readHostFile(path);
        if (!bytes)
            return failure(QStringLiteral("%1 cannot be backed up: %2").arg(path, bytes.reason()));
        entry.copy = QStringLiteral("%1-%2").arg(m_backup.files.size() + 1).arg(QFileInfo(path).fileName());
        entry.copySha256 = sha256(*bytes);
        const QString copy = m_backup.folder + u'/' + entry.copy;
        if (const Result<void> written = writeFileAtomically(copy, *bytes); !written)
            return failure(QStringLiteral("the backup of %1 cannot be written to %2: %3")
                               .arg(path, copy, written.reason()));
    }
    m_backup.files.append(entry);
    if (Result<void> saved = saveManifest(); !saved) {
        m_backup.files.removeLast();
        if (!entry.copy.isEmpty())
            QFile::remove(m_backup.folder + u'/' + entry.copy);
        return saved;
    }
    m_index.insert(path, m_backup.files.size() - 1);
    return {};
}

Result<void> BackupSession::afterChange(const QString& hostPath, QByteArrayView written)
{
    const auto found = m_index.constFind(absolute(hostPath));
    if (found == m_index.constEnd())
        return failure(QStringLiteral("%1 was changed without a backup").arg(hostPath));
    m_backup.files[*found].writtenSha256 = sha256(written);
    return saveManifest();
}

Result<QList<Backup>> listBackups(const QString& backupsFolder)
{
    QList<Backup> backups;
    const QDir dir(backupsFolder);
    if (!dir.exists())
        return backups;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        if (Result<Backup> backup = readBackup(dir.filePath(name)))
            backups.append(std::move(*backup));
    }
    return backups;
}

Result<RestoreOutcome> restoreBackup(const QString& backupsFolder, const QString& name,
                                     const QString& machineRoot, bool force)
{
    Result<QList<Backup>> all = listBackups(backupsFolder);
    if (!all)
        return failure(all.reason());
    const QString machine = machineRoot.isEmpty() ? QString() : absolute(machineRoot);
    const auto chosen = std::find_if(all->crbegin(), all->crend(), [&](const Backup& backup) {
        return name.isEmpty() ? machine.isEmpty() || backup.machine == machine : backup.name == name;
    });
    if (chosen == all->crend()) {
        if (!name.isEmpty())
            return failure(QStringLiteral("there is no backup %1 in %2").arg(name, backupsFolder));
        return failure(machine.isEmpty()
                           ? QStringLiteral("there is no backup in %1").arg(backupsFolder)
                           : QStringLiteral("there is no backup of %1 in %2").arg(machine, backupsFolder));
    }

    RestoreOutcome outcome;
    outcome.backup = chosen->name;
    for (const BackedUpFile& file : chosen->files) {
        QByteArray now; // the digest of what the file holds now; empty when it does not exist
        if (QFileInfo::exists(file.path) || QFileInfo(file.path).isSymLink()) {
            const Result<QByteArray> bytes = readHostFile(file.path);
            if (!bytes) {
                outcome.failed.append(QStringLiteral("%1: %2").arg(file.path, bytes.reason()));
                continue;
            }
            now = sha256(*bytes);
        }
        if (now == file.copySha256) {
            outcome.unchanged.append(file.path);
        } else if (!force && (file.writtenSha256.isEmpty() || now != file.writtenSha256)) {
            outcome.leftAlone.append(file.path);
        } else if (const QString why = putBack(*chosen, file); !why.isEmpty()) {
            outcome.failed.append(QStringLiteral("%1: %2").arg(file.path, why));
        } else {
            outcome.restored.append(file.path);
        }
    }
    return outcome;
}

} // namespace velmora
