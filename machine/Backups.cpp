#include "machine/Backups.h"

#include "files/AtomicFile.h"
#include "files/Drive.h"
#include "files/FileLock.h"
#include "files/HostFile.h"
#include "machine/MachineFolder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velmora {
namespace {

const QString kManifest = QStringLiteral("manifest.json");
// A manifest lists a few files; anything near this size is not one of ours.
constexpr qint64 kMaxManifestSize = qint64(1) << 20;
// The manifest and the copies are read as they lie in the backup's folder, never through a link.
const HostFileRules kManifestRules{.limit = kMaxManifestSize, .noLink = true};
const HostFileRules kCopyRules{.noLink = true};
constexpr qsizetype kMaxPathLength = 4096;
// fdisk numbers the logical partitions of a chain from 5 on; no real disk holds thousands.
constexpr qint64 kMaxPartition = 9999;
const QByteArray kTemporaryMark = ".velmora-";
constexpr qsizetype kTemporaryUniquePart = 6;

QString systemReason(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray sha256(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

QString absolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Whether path lies below folder (both absolute and clean).
bool within(const QString& path, const QString& folder)
{
    return folder.endsWith(u'/') ? path.size() > folder.size() && path.startsWith(folder)
                                 : path.startsWith(folder + u'/');
}

QString below(const QString& path, const QString& folder)
{
    return path.mid(folder.endsWith(u'/') ? folder.size() : folder.size() + 1);
}

// Whether path names a file below a folder: relative, separator between names, and no name
// empty, "." or ".." or holding a control character.
bool isPathBelow(const QString& path, QChar separator = u'/')
{
    if (path.isEmpty() || path.size() > kMaxPathLength)
        return false;
    for (const QStringView name : QStringView(path).split(separator)) {
        if (name.isEmpty() || name == u"." || name == u"..")
            return false;
        if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x20 || c == u'\x7f'; }))
            return false;
    }
    return true;
}

// Whether path names a file on a disk image's drive C as its manifest records it: "WINDOWS\WIN.INI",
// never absolute, on a drive of its own ("C:"), with a host separator or a character no FAT name
// holds in it.
bool isDrivePath(const QString& path)
{
    return isPathBelow(path, u'\\') && std::none_of(path.begin(), path.end(), [](QChar c) {
               return QStringView(u"/:*?\"<>|").contains(c);
           });
}

bool isDigest(const QString& text)
{
    static const QRegularExpression digest(QStringLiteral("\\A[0-9a-f]{64}\\z"));
    return digest.match(text).hasMatch();
}

// The names Velmora gives its backup folders; anything else in the folder is not ours.
bool isBackupName(const QString& name)
{
    static const QRegularExpression stamp(
        QStringLiteral("\\A\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d\\.\\d{3}(-\\d\\d)?\\z"));
    return stamp.match(name).hasMatch();
}

// Writes a file only its owner may read (whatever the umask): a new file is made 0644 by the
// atomic write, within a folder that is 0700, and narrowed at once.
Result<void> writePrivately(const QString& path, QByteArrayView bytes)
{
    if (const Result<void> written = writeFileAtomically(path, bytes); !written)
        return written;
    if (::chmod(QFile::encodeName(path).constData(), 0600) != 0)
        return failure(systemReason());
    return {};
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
    QJsonObject root{{QStringLiteral("machine"), backup.machine}, {QStringLiteral("files"), files}};
    if (backup.partition)
        root.insert(QStringLiteral("partition"), *backup.partition);
    return QJsonDocument(root).toJson();
}

// A text member that may be left out (then empty); nothing when it is there but not a text.
std::optional<QString> textOf(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return QString();
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// Why one entry of the list of files cannot be used; empty when it can (then file holds it).
QString readEntry(const QJsonValue& value, const Backup& backup, BackedUpFile& file)
{
    if (!value.isObject())
        return QStringLiteral("it is not an object");
    const QJsonObject entry = value.toObject();
    const std::optional<QString> path = textOf(entry, QStringLiteral("path"));
    const std::optional<QString> copy = textOf(entry, QStringLiteral("copy"));
    const std::optional<QString> copySha256 = textOf(entry, QStringLiteral("sha256"));
    const std::optional<QString> writtenSha256 = textOf(entry, QStringLiteral("written_sha256"));
    const qint64 permissions = entry.value(QStringLiteral("permissions")).toInteger(-1);
    if (!path || !copy || !copySha256 || !writtenSha256)
        return QStringLiteral("a member that should be a text is not");
    // Recorded below the machine's root; earlier versions recorded the host path, which must
    // then lie inside the machine too. An image's files are named by their path on drive C.
    const bool onImage = backup.partition.has_value();
    file.path = !onImage && path->startsWith(u'/') && within(*path, backup.machine)
                    ? below(*path, backup.machine)
                    : *path;
    if (onImage ? !isDrivePath(file.path) : !isPathBelow(file.path))
        return QStringLiteral("its path \"%1\" does not name a file inside the machine").arg(*path);
    if (!copy->isEmpty() && (!isPathBelow(*copy) || copy->contains(u'/') || *copy == kManifest))
        return QStringLiteral("its copy \"%1\" is not a file of the backup's folder").arg(*copy);
    if (copy->isEmpty() ? !copySha256->isEmpty() : !isDigest(*copySha256))
        return QStringLiteral("the SHA-256 of its copy is not one");
    if (!writtenSha256->isEmpty() && !isDigest(*writtenSha256))
        return QStringLiteral("the SHA-256 of what was written is not one");
    if (permissions < 0 || permissions > 0x7777)
        return QStringLiteral("its permissions are not a file's");
    file.copy = *copy;
    file.copySha256 = copySha256->toLatin1();
    file.writtenSha256 = writtenSha256->toLatin1();
    file.permissions = int(permissions);
    return {};
}

// Fills backup from its manifest, checked whole: why it cannot be used, or empty.
QString readManifest(QByteArrayView bytes, Backup& backup)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("it is not JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset);
    const QJsonObject root = document.object();
    const std::optional<QString> machine = textOf(root, QStringLiteral("machine"));
    if (!document.isObject() || !machine || !root.value(QStringLiteral("files")).isArray())
        return QStringLiteral("it is not an object with a machine and a list of files");
    if (!machine->startsWith(u'/') || QDir::cleanPath(*machine) != *machine ||
        machine->size() > kMaxPathLength ||
        std::any_of(machine->begin(), machine->end(), [](QChar c) { return c.unicode() < 0x20; }))
        return QStringLiteral("the machine \"%1\" is not an absolute path").arg(*machine);
    backup.machine = *machine;
    if (const QJsonValue partition = root.value(QStringLiteral("partition")); !partition.isUndefined()) {
        const qint64 number = partition.toInteger(-1);
        if (number < 0 || number > kMaxPartition)
            return QStringLiteral("its partition is not a partition's number");
        backup.partition = int(number);
    }
    QStringList seen;
    const QJsonArray files = root.value(QStringLiteral("files")).toArray();
    for (qsizetype i = 0; i < files.size(); ++i) {
        BackedUpFile file;
        if (const QString why = readEntry(files[i], backup, file); !why.isEmpty())
            return QStringLiteral("file %1 of its list: %2").arg(i + 1).arg(why);
        if (seen.contains(file.path))
            return QStringLiteral("file %1 of its list: %2 is listed twice").arg(i + 1).arg(file.path);
        seen.append(file.path);
        backup.files.append(file);
    }
    return {};
}

Backup readBackup(const QString& folder)
{
    Backup backup{QFileInfo(folder).fileName(), folder, {}, {}, {}, {}};
    const Result<QByteArray> bytes = readHostFile(folder + u'/' + kManifest, kManifestRules);
    if (!bytes)
        backup.damage = QStringLiteral("its %1 cannot be read: %2").arg(kManifest, bytes.reason());
    else if (const QString why = readManifest(*bytes, backup); !why.isEmpty())
        backup.damage = QStringLiteral("its %1 is damaged: %2").arg(kManifest, why);
    if (!backup.damage.isEmpty()) {
        backup.machine.clear();
        backup.partition.reset();
        backup.files.clear();
    }
    return backup;
}

// Removes the temporary files interrupted writes left in a backup folder, as every writer of
// the folder's files would, under the lock they take; and closes a folder an earlier version
// left open to everyone.
void tidyUp(const QString& folder)
{
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    QStringList targets;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const qsizetype mark = name.size() - kTemporaryUniquePart - kTemporaryMark.size();
        if (mark > 0 &&
            QStringView(name).sliced(mark, kTemporaryMark.size()) == QLatin1String(kTemporaryMark))
            targets.append(folder + u'/' + name.left(mark));
    }
    if (targets.isEmpty())
        return;
    FileLock lock(folder, FileLock::On::Folder);
    if (!lock.lock())
        return;
    for (const QString& target : targets)
        removeStaleTemporaries(target);
}

// Recreated: put back where the file had gone.
enum class Verdict { Restored, Recreated, Unchanged, LeftAlone, Missing };

// Whether a restore may change a file whose bytes now have this digest: it still holds what
// Velmora wrote, or the restore is forced.
bool mayChange(const BackedUpFile& file, const QByteArray& digestNow, bool force)
{
    return force || (!file.writtenSha256.isEmpty() && digestNow == file.writtenSha256);
}

// Records what became of a file; a failure as "path: reason".
void note(RestoreOutcome& outcome, const Result<Verdict>& verdict, const QString& path)
{
    if (!verdict) {
        outcome.failed.append(QStringLiteral("%1: %2").arg(path, verdict.reason()));
        return;
    }
    switch (*verdict) {
    case Verdict::Restored:
    case Verdict::Recreated:
        outcome.restored.append(path);
        break;
    case Verdict::Unchanged:
        outcome.unchanged.append(path);
        break;
    case Verdict::LeftAlone:
        outcome.leftAlone.append(path);
        break;
    case Verdict::Missing:
        outcome.missing.append(path);
        break;
    }
}

// Puts the copy back over the file at path through the drive's own write, the one every writer
// of the machine takes: only while the file holds what Velmora last wrote, unless force. The
// registry goes back though read-only, as it was written; any other read-only file stays.
Result<Verdict> putBack(const Backup& backup, const BackedUpFile& file, Drive& drive, const QString& path,
                        bool isRegistry, bool force)
{
    const QString copyPath = backup.folder + u'/' + file.copy;
    const Result<QByteArray> copy = readHostFile(copyPath, kCopyRules);
    if (!copy)
        return failure(
            QStringLiteral("the backup's copy %1 cannot be read: %2").arg(copyPath, copy.reason()));
    if (sha256(*copy) != file.copySha256)
        return failure(
            QStringLiteral("the backup's copy %1 is damaged (its SHA-256 does not match the manifest)")
                .arg(copyPath));
    if (!drive.isFolder(drive.folderOf(path))) {
        if (!force)
            return Verdict::Missing;
        return failure(QStringLiteral("its folder does not exist"));
    }
    Verdict verdict = Verdict::Unchanged;
    const Result<void> written = drive.edit(
        path,
        [&](const Found<QByteArray>& current) -> Result<FileChange> {
            const QByteArray now = current.isPresent() ? sha256(current.value) : QByteArray();
            verdict = Verdict::Unchanged;
            if (now == file.copySha256)
                return FileChange::keep();
            if (!force && !current.isPresent()) {
                verdict = Verdict::Missing;
                return FileChange::keep();
            }
            if (!mayChange(file, now, force)) {
                verdict = Verdict::LeftAlone;
                return FileChange::keep();
            }
            verdict = current.isPresent() ? Verdict::Restored : Verdict::Recreated;
            return FileChange::replaceWith(*copy);
        },
        isRegistry ? ReadOnlyFile::Written : ReadOnlyFile::Refused);
    if (!written)
        return failure(written.reason());
    return verdict;
}

// Removes again the file at host, which did not exist before the run: only an ordinary file
// (a link is never followed, nor removed), and only while it holds what Velmora wrote.
Result<Verdict> removeAgain(const BackedUpFile& file, const QString& host, const QString& folder, bool force)
{
    if (folder.isEmpty())
        return Verdict::Unchanged;
    FileLock lock(folder, FileLock::On::Folder);
    if (const Result<void> locked = lock.lock(); !locked)
        return failure(locked.reason());
    const QString path = folder + u'/' + QFileInfo(host).fileName();
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0) {
        if (errno == ENOENT)
            return Verdict::Unchanged;
        return failure(systemReason());
    }
    if (!S_ISREG(st.st_mode))
        return failure(QStringLiteral("it is not an ordinary file now; it was left alone"));
    const Result<QByteArray> bytes = readHostFile(path, kCopyRules);
    if (!bytes)
        return failure(bytes.reason());
    if (!mayChange(file, sha256(*bytes), force))
        return Verdict::LeftAlone;
    if (::unlink(name.constData()) != 0)
        return failure(QStringLiteral("it could not be removed: %1").arg(systemReason()));
    return Verdict::Restored;
}

Result<Verdict> restoreOnHost(const Backup& backup, const MachineFolder& layout, const BackedUpFile& file,
                              const QString& machine, bool force)
{
    const QString host = backup.shownPath(file);
    if (host != layout.registryFile() && !within(host, layout.driveC()))
        return failure(QStringLiteral("it is none of the machine's files (its registry or on its drive C)"));
    // The file's folder as it really is: a folder that is a link leading out of the machine is
    // never written through.
    const QString folder = QFileInfo(QFileInfo(host).absolutePath()).canonicalFilePath();
    if (!folder.isEmpty() && folder != machine && !within(folder, machine))
        return failure(QStringLiteral("its folder is a link that leads out of the machine"));
    if (file.copy.isEmpty())
        return removeAgain(file, host, folder, force);
    HostDrive drive(machine);
    const Result<Verdict> verdict = putBack(backup, file, drive, host, host == layout.registryFile(), force);
    // An existing file kept its own permissions; a recreated one gets those it had.
    if (verdict && *verdict == Verdict::Recreated && file.permissions != 0) {
        if (const Result<QString> target = writeTarget(host, machine))
            QFile::setPermissions(*target, QFile::Permissions(file.permissions));
    }
    return verdict;
}

// A file of a disk image, on drive C as every write maps it. A file Velmora made there is
// removed again in one save of the image, while it holds what Velmora wrote.
Result<Verdict> restoreOnImage(const Backup& backup, const MachineFolder& image, const BackedUpFile& file,
                               bool force)
{
    const Result<QString> path = image.hostPath(QStringLiteral("C:\\") + file.path);
    if (!path)
        return failure(path.reason());
    if (!file.copy.isEmpty())
        return putBack(backup, file, image.drive(), *path,
                       path->compare(image.registryFile(), Qt::CaseInsensitive) == 0, force);
    Verdict verdict = Verdict::Unchanged;
    const Result<void> removed = image.drive().edit(
        *path,
        [&](const Found<QByteArray>& current) -> Result<FileChange> {
            verdict = Verdict::Unchanged;
            if (!current.isPresent())
                return FileChange::keep();
            if (!mayChange(file, sha256(current.value), force)) {
                verdict = Verdict::LeftAlone;
                return FileChange::keep();
            }
            verdict = Verdict::Restored;
            return FileChange::remove();
        },
        ReadOnlyFile::Refused);
    if (!removed)
        return failure(removed.reason());
    return verdict;
}

// Opens the disk image of a backup as the machine it was made of: the same partition, found
// the same way (or the one asked for). Refused, naming the backup, when it is not.
Result<void> openBackedUpImage(const Backup& backup, const MachineFolder& image)
{
    if (image.kind() != MachineFolder::Kind::Image)
        return failure(
            QStringLiteral("the machine %1 of the backup %2 is not a disk image; nothing was restored")
                .arg(backup.machine, backup.name));
    if (const Result<void> usable = image.prepare(MachineFolder::Creation::MustExist); !usable)
        return failure(
            QStringLiteral("the disk image %1 of the backup %2 cannot be used: %3; nothing was restored")
                .arg(backup.machine, backup.name, usable.reason()));
    if (image.partition() != backup.partition)
        return failure(
            QStringLiteral("the backup %1 is of partition %2 of %3, but Windows is on partition %4 "
                           "there; nothing was restored")
                .arg(backup.name)
                .arg(*backup.partition)
                .arg(backup.machine)
                .arg(image.partition().value_or(-1)));
    return {};
}

// The backup a restore puts back: the named one, else the newest of machine (of all when
// machine is empty). Refused when it is damaged or, for the newest, a newer one is.
Result<const Backup*> chooseBackup(const QList<Backup>& all, const QString& backupsFolder,
                                   const QString& name, const QString& machine)
{
    if (!name.isEmpty()) {
        const auto named =
            std::find_if(all.cbegin(), all.cend(), [&](const Backup& backup) { return backup.name == name; });
        if (named == all.cend())
            return failure(QStringLiteral("there is no backup %1 in %2").arg(name, backupsFolder));
        if (!named->damage.isEmpty())
            return failure(QStringLiteral("the backup %1 in %2 cannot be used: %3; nothing was restored")
                               .arg(name, backupsFolder, named->damage));
        if (!machine.isEmpty() && named->machine != machine)
            return failure(
                QStringLiteral("the backup %1 is of the machine %2, not of %3; nothing was restored")
                    .arg(name, named->machine, machine));
        return &*named;
    }
    for (auto backup = all.crbegin(); backup != all.crend(); ++backup) {
        if (!backup->damage.isEmpty())
            return failure(
                QStringLiteral("the backup %1 in %2 cannot be used: %3. It may be the newest backup of "
                               "the machine, so nothing was restored; to put back an older one, name "
                               "it (velmora --list-backups lists them)")
                    .arg(backup->name, backupsFolder, backup->damage));
        if (machine.isEmpty() || backup->machine == machine)
            return &*backup;
    }
    return failure(machine.isEmpty()
                       ? QStringLiteral("there is no backup in %1").arg(backupsFolder)
                       : QStringLiteral("there is no backup of %1 in %2").arg(machine, backupsFolder));
}

} // namespace

QString Backup::shownPath(const BackedUpFile& file) const
{
    return partition ? QStringLiteral("C:\\%1 in %2").arg(file.path, machine) : machine + u'/' + file.path;
}

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
    if (std::filesystem::create_directories(QFile::encodeName(m_backupsFolder).toStdString(), error))
        ::chmod(QFile::encodeName(m_backupsFolder).constData(), 0700);
    if (error)
        return failure(QStringLiteral("the backup folder %1 cannot be made: %2")
                           .arg(m_backupsFolder, QString::fromLocal8Bit(error.message())));
    // One folder per run, named by the time it was made; mkdir refuses a name already taken.
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss.zzz"));
    int reason = EEXIST;
    for (int attempt = 0; attempt < 100 && reason == EEXIST; ++attempt) {
        const QString name =
            attempt == 0 ? stamp : stamp + QStringLiteral("-%1").arg(attempt, 2, 10, QChar(u'0'));
        const QString folder = m_backupsFolder + u'/' + name;
        const QByteArray path = QFile::encodeName(folder);
        if (::mkdir(path.constData(), 0700) == 0) {
            // Only the owner may see what the machine's files held, whatever the umask.
            if (::chmod(path.constData(), 0700) != 0) {
                reason = errno;
                ::rmdir(path.constData());
                break;
            }
            m_backup.name = name;
            m_backup.folder = folder;
            return {};
        }
        reason = errno; // another name helps only when this one was taken
    }
    return failure(QStringLiteral("the backup folder %1 cannot be made: %2")
                       .arg(m_backupsFolder + u'/' + stamp,
                            reason == EEXIST ? QStringLiteral("the name is taken") : systemReason(reason)));
}

Result<void> BackupSession::saveManifest()
{
    const QString path = m_backup.folder + u'/' + kManifest;
    if (const Result<void> written = writePrivately(path, manifestBytes(m_backup)); !written)
        return failure(
            QStringLiteral("the backup manifest %1 cannot be written: %2").arg(path, written.reason()));
    return {};
}

QString BackupSession::insideMachine(const QString& hostPath) const
{
    if (m_image) // already the file's path on the image's drive C
        return isDrivePath(hostPath) ? hostPath : QString();
    QString path = absolute(hostPath);
    QString root = m_backup.machine;
    if (!within(path, root)) {
        // Reached through a link (the machine's root may be one): compared as they really are.
        const QString folder = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
        root = QFileInfo(root).canonicalFilePath();
        if (folder.isEmpty() || root.isEmpty())
            return {};
        path = folder + u'/' + QFileInfo(path).fileName();
    }
    if (!within(path, root) || !isPathBelow(below(path, root)))
        return {};
    return below(path, root);
}

void BackupSession::keepFromImage(Drive& drive, int partition)
{
    m_image = &drive;
    m_backup.partition = partition;
}

Result<Found<QByteArray>> BackupSession::readAsItIs(const QString& path) const
{
    if (m_image)
        return m_image->readIfPresent(path, kHostFileLimit);
    if (!QFileInfo::exists(path))
        return Found<QByteArray>::missing();
    Result<QByteArray> bytes = readHostFile(path);
    if (!bytes)
        return failure(bytes.reason());
    return found(std::move(*bytes));
}

BackupSession* backupsOf(const MachineFolder& machine, BackupSession& session)
{
    if (machine.kind() != MachineFolder::Kind::Image)
        return &session;
    if (!machine.partition()) // the image did not open: nothing can be written to it
        return nullptr;
    session.keepFromImage(machine.drive(), *machine.partition());
    return &session;
}

Result<void> BackupSession::beforeChange(const QString& hostPath)
{
    const QString inside = insideMachine(hostPath);
    if (inside.isEmpty())
        return failure(QStringLiteral("%1 lies outside the machine %2, so it is not backed up nor changed")
                           .arg(hostPath, m_backup.machine));
    if (m_index.contains(inside))
        return {};
    if (m_backup.folder.isEmpty()) {
        if (Result<void> made = makeFolder(); !made)
            return made;
    }

    const QString path = m_image ? hostPath : absolute(hostPath);
    BackedUpFile entry{inside, {}, {}, {}, m_image ? 0 : int(QFileInfo(path).permissions())};
    const Result<Found<QByteArray>> bytes = readAsItIs(path);
    if (!bytes)
        return failure(QStringLiteral("%1 cannot be backed up: %2").arg(path, bytes.reason()));
    if (bytes->isPresent()) {
        const QString name = path.mid(path.lastIndexOf(m_image ? u'\\' : u'/') + 1);
        entry.copy = QStringLiteral("%1-%2").arg(m_backup.files.size() + 1).arg(name);
        entry.copySha256 = sha256(bytes->value);
        const QString copy = m_backup.folder + u'/' + entry.copy;
        if (const Result<void> written = writePrivately(copy, bytes->value); !written)
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
    m_index.insert(inside, m_backup.files.size() - 1);
    return {};
}

Result<void> BackupSession::afterChange(const QString& hostPath, QByteArrayView written)
{
    const auto found = m_index.constFind(insideMachine(hostPath));
    if (found == m_index.constEnd())
        return failure(QStringLiteral("%1 was changed without a backup").arg(hostPath));
    const bool firstChange = std::none_of(m_backup.files.cbegin(), m_backup.files.cend(),
                                          [](const BackedUpFile& f) { return !f.writtenSha256.isEmpty(); });
    m_backup.files[*found].writtenSha256 = sha256(written);
    const Result<void> saved = saveManifest();
    // Counted among the machine's backups only once a change was made: writes refused after
    // their backup (a read-only file, a full disk) never push a real backup out.
    if (firstChange)
        pruneBackups(m_backupsFolder, m_backup.machine, kBackupsKept, m_backup.folder);
    return saved;
}

Result<QList<Backup>> listBackups(const QString& backupsFolder)
{
    QList<Backup> backups;
    const QDir dir(backupsFolder);
    if (!dir.exists())
        return backups;
    for (const QString& name :
         dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
        if (isBackupName(name))
            backups.append(readBackup(dir.filePath(name)));
    }
    return backups;
}

void pruneBackups(const QString& backupsFolder, const QString& machineRoot, int keep, const QString& spare)
{
    const Result<QList<Backup>> all = listBackups(backupsFolder);
    if (!all)
        return;
    const QString machine = absolute(machineRoot);
    int kept = 0;
    for (auto backup = all->crbegin(); backup != all->crend(); ++backup) {
        // A backup that cannot be read may be anyone's: it stays.
        if (backup->damage.isEmpty() && backup->machine == machine && ++kept > keep &&
            backup->folder != spare)
            QDir(backup->folder).removeRecursively(); // removes links, never follows them
        else
            tidyUp(backup->folder);
    }
}

Result<RestoreOutcome> restoreBackup(const QString& backupsFolder, const QString& name,
                                     const MachineName& machine, bool force)
{
    const Result<QList<Backup>> all = listBackups(backupsFolder);
    if (!all)
        return failure(all.reason());
    const Result<const Backup*> chosen =
        chooseBackup(*all, backupsFolder, name, machine.root.isEmpty() ? QString() : absolute(machine.root));
    if (!chosen)
        return failure(chosen.reason());
    const Backup& backup = **chosen;
    RestoreOutcome outcome;
    outcome.backup = backup.name;

    if (backup.partition) {
        // Held for the whole restore, as a window holds it.
        const MachineFolder image(MachineName(backup.machine, machine.partition));
        if (const Result<void> opened = openBackedUpImage(backup, image); !opened)
            return failure(opened.reason());
        for (const BackedUpFile& file : backup.files)
            note(outcome, restoreOnImage(backup, image, file, force), backup.shownPath(file));
        return outcome;
    }
    if (machine.partition)
        return failure(
            QStringLiteral("%1 is not a disk image: a partition is chosen only on one; nothing was "
                           "restored")
                .arg(backup.machine));
    // Every file is mapped below the machine's root as it really is.
    const QString root = QFileInfo(backup.machine).canonicalFilePath();
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return failure(QStringLiteral("the machine %1 of the backup %2 does not exist; nothing was restored")
                           .arg(backup.machine, backup.name));
    // Only the machine's own files: its registry and what lies on its drive C.
    const MachineFolder layout(backup.machine);
    for (const BackedUpFile& file : backup.files)
        note(outcome, restoreOnHost(backup, layout, file, root, force), backup.shownPath(file));
    return outcome;
}

} // namespace velmora
