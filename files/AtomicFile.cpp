#include "files/AtomicFile.h"

#include "files/FileChangeWatch.h"
#include "files/FileLock.h"
#include "files/HostFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

constexpr QByteArrayView kTemporaryMark(".velmora-");
constexpr qsizetype kTemporaryUniquePart = 6; // the XXXXXX of mkostemp

QString systemReason(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// Makes the rename itself durable; a folder that cannot be synced is not an error.
void syncFolder(const QByteArray& folder)
{
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

bool isInside(const QString& canonicalPath, const QString& canonicalFolder)
{
    return !canonicalFolder.isEmpty() && canonicalPath.startsWith(canonicalFolder + u'/');
}

bool isTemporaryOf(QByteArrayView entry, QByteArrayView leaf)
{
    if (entry.size() != leaf.size() + kTemporaryMark.size() + kTemporaryUniquePart ||
        !entry.startsWith(leaf) || entry.sliced(leaf.size(), kTemporaryMark.size()) != kTemporaryMark)
        return false;
    for (const char c : entry.last(kTemporaryUniquePart)) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// Moves the temporary file into target's place, or gives up when target is no longer the file
// basedOn describes. Where the file system can, the two are exchanged in one step and the file
// taken out is then checked, so a change another program makes up to the last moment is seen.
Result<bool> install(const QByteArray& temp, const QByteArray& target, const FileIdentity& basedOn,
                     FileWrites* since)
{
    auto renamed = [&]() -> Result<bool> {
        if (::rename(temp.constData(), target.constData()) != 0)
            return failure(systemReason());
        return true;
    };
    if (!basedOn.known())
        return renamed();
    if (basedOn.error != 0) { // the edit was made on a missing file
        if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno == EEXIST)
            return false;
        if (errno != EINVAL && errno != ENOSYS)
            return failure(systemReason());
        return FileIdentity::ofPath(target).error == ENOENT ? renamed() : Result<bool>(false);
    }
    // Looked at first, so the new file is seldom shown in place of another program's; the status
    // time counts here, since a change that keeps size and modification time still moves it. A
    // write within the same tick of the clock leaves even that as it was: the watch begun before
    // the file was read sees it, up to the exchange. Without one, a watch begun now does so
    // from this look on.
    FileWrites ownWatch;
    if (!since || !since->watches(basedOn)) {
        ownWatch = FileWrites(QFile::decodeName(target));
        since = &ownWatch;
    }
    if (FileIdentity::ofPath(target) != basedOn || since->seen())
        return false;
    if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) == 0) {
        // The exchange itself moved the old file's status time, so that one cannot count here.
        if (FileIdentity::ofPath(temp).sameContents(basedOn) && !since->seen())
            return true;
        // Another program's file was taken out: it goes back, in one step again.
        if (::renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, target.constData(), RENAME_EXCHANGE) != 0 &&
            ::rename(temp.constData(), target.constData()) != 0)
            return failure(QStringLiteral("another program's version of the file could not be put back: %1")
                               .arg(systemReason()));
        return false;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return failure(systemReason());
    return FileIdentity::ofPath(target) == basedOn ? renamed() : Result<bool>(false);
}

// A file without any write permission bit stays as it is, whoever runs the program (root passes
// every access check, and on a FAT volume this is how the read-only attribute shows).
Result<void> checkWritable(const QByteArray& target, const struct stat& existing, const QString& name)
{
    if ((existing.st_mode & 0222) == 0)
        return failure(QStringLiteral("%1 is read-only").arg(name));
    if (::access(target.constData(), W_OK) != 0)
        return failure(QStringLiteral("%1 could not be written: %2").arg(name, systemReason()));
    return {};
}

QString fileNameOf(const QString& path)
{
    return shownInMessage(QFileInfo(path).fileName());
}

// Removes the file an edit was made on, unless it changed since it was read (the edit is then
// made again on what is there now).
Result<Attempt> removeIfUnchanged(const QString& targetPath, const FileIdentity& basedOn)
{
    const QByteArray target = QFile::encodeName(targetPath);
    struct stat existing {};
    if (::lstat(target.constData(), &existing) != 0)
        return errno == ENOENT && basedOn.error == ENOENT ? Attempt::Done : Attempt::FileChanged;
    if (!basedOn.sameContents(FileIdentity::of(existing)))
        return Attempt::FileChanged;
    const QString name = fileNameOf(targetPath);
    if (const Result<void> writable = checkWritable(target, existing, name); !writable)
        return failure(writable.reason());
    if (::unlink(target.constData()) != 0)
        return failure(QStringLiteral("%1 could not be removed: %2").arg(name, systemReason()));
    syncFolder(QFile::encodeName(QFileInfo(targetPath).absolutePath()));
    return Attempt::Done;
}

} // namespace

Result<QString> writeTarget(const QString& hostPath, const QString& within)
{
    const QFileInfo info(hostPath);
    QString target;
    if (!info.isSymLink()) {
        // The folder as it really is, so every path to the file takes the same lock.
        const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
        target = folder.isEmpty() ? info.absoluteFilePath() : folder + u'/' + info.fileName();
    } else {
        target = info.canonicalFilePath();
        if (target.isEmpty())
            return failure(QStringLiteral("the file is a link that leads nowhere"));
    }
    if (!within.isEmpty() && !isInside(target, QFileInfo(within).canonicalFilePath()))
        return failure(info.isSymLink()
                           ? QStringLiteral("the file is a link that leads out of the machine")
                           : QStringLiteral("a link on the way to the file leads out of the machine"));
    return target;
}

void removeStaleTemporaries(const QString& target)
{
    const QFileInfo info(target);
    const QByteArray leaf = QFile::encodeName(info.fileName());
    DIR* folder = ::opendir(QFile::encodeName(info.absolutePath()).constData());
    if (!folder)
        return;
    const int folderFd = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        struct stat st {};
        if (isTemporaryOf(entry->d_name, leaf) &&
            ::fstatat(folderFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(folder);
}

Result<Replacement> replaceFileIfUnchanged(const QString& targetPath, QByteArrayView bytes,
                                           const FileIdentity& basedOn, FileWrites* since,
                                           ReadOnlyFile readOnly)
{
    const QFileInfo info(targetPath);
    const QString name = fileNameOf(targetPath);
    auto failed = [&](const QString& why) {
        return failure(QStringLiteral("%1 could not be written: %2").arg(name, why));
    };
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());

    mode_t mode = 0644;
    struct stat existing {};
    const bool exists = ::lstat(target.constData(), &existing) == 0;
    if (exists) {
        // Renamed over, a FIFO or a device (a report saved as /dev/null) would be gone.
        if (const QString why = notAFile(existing.st_mode); !why.isEmpty())
            return failed(why);
        mode = existing.st_mode & 07777;
        // Only the folder is written to: the file is renamed over, its mode kept.
        const Result<void> writable =
            readOnly == ReadOnlyFile::Written ? Result<void>() : checkWritable(target, existing, name);
        if (!writable)
            return failure(writable.reason());
    }

    QByteArray temp = target + kTemporaryMark.toByteArray() + QByteArray(kTemporaryUniquePart, 'X');
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return failed(systemReason());
    auto abandon = [&](const QString& why) -> Result<Replacement> {
        ::close(fd);
        ::unlink(temp.constData());
        return failed(why);
    };
    if (!writeAll(fd, bytes) || ::fchmod(fd, mode) != 0)
        return abandon(systemReason());
    // Owner and group as the process may set them: all (root), the group alone, or neither.
    if (exists && ::fchown(fd, existing.st_uid, existing.st_gid) != 0)
        (void)::fchown(fd, uid_t(-1), existing.st_gid);
    if (::fsync(fd) != 0)
        return abandon(systemReason());
    // Begun before the new file takes its name, so no write into it is missed from then on.
    FileWrites writes(QFile::decodeName(temp));
    const Result<bool> installed = install(temp, target, basedOn, since);
    // The temporary name now holds the old file, or the new one that was not put in place.
    ::unlink(temp.constData());
    // Taken from the new file itself: another program may have replaced it already.
    struct stat written {};
    const bool known = installed && *installed && ::fstat(fd, &written) == 0;
    ::close(fd); // the bytes are synced; nothing is lost should closing fail
    if (!installed)
        return failed(installed.reason());
    if (!*installed)
        return Replacement{Attempt::FileChanged};
    syncFolder(QFile::encodeName(info.absolutePath()));
    return Replacement{Attempt::Done, known ? FileIdentity::of(written) : FileIdentity{}, std::move(writes)};
}

Result<void> guardedWrite(const QString& hostPath, const WriteGuard& guard, const WriteAttempt& attempt)
{
    const QString name = fileNameOf(hostPath);
    auto named = [&](const QString& why) { return failure(QStringLiteral("%1: %2").arg(name, why)); };
    Result<QString> target = failure(QString());
    std::optional<FileLock> folderLock;
    FileLock* lock = guard.lock;
    for (int attempt = 0; !lock && attempt < kEditAttempts; ++attempt) {
        // The folder is locked as it really is; a link to it may change meanwhile, so the file is
        // looked up again once the lock is held.
        target = writeTarget(hostPath, guard.within);
        if (!target)
            return named(target.reason());
        const QString folder = QFileInfo(*target).absolutePath();
        folderLock.emplace(folder, FileLock::On::Folder);
        if (const Result<void> locked = folderLock->lock(); !locked)
            return named(locked.reason());
        target = writeTarget(hostPath, guard.within);
        if (target && QFileInfo(*target).absolutePath() == folder)
            lock = &*folderLock;
        else
            folderLock.reset();
    }
    if (!lock)
        return named(QStringLiteral("the way to the file kept changing while it was locked"));
    std::optional<FileLockGuard> lockFile;
    if (guard.lock) {
        lockFile.emplace(*guard.lock);
        if (!lockFile->ok())
            return named(lockFile->reason());
        target = writeTarget(hostPath, guard.within); // another link or file may have taken the name
    }
    if (!target)
        return named(target.reason());
    removeStaleTemporaries(*target);
    for (int round = 0; round < kEditAttempts; ++round) {
        const Result<Attempt> made = attempt(*target);
        if (!made)
            return failure(made.reason());
        if (*made == Attempt::Done)
            return {};
    }
    return failure(
        QStringLiteral("another program kept changing %1; it was left as that program wrote it").arg(name));
}

Result<void> writeFileAtomically(const QString& hostPath, QByteArrayView bytes)
{
    return guardedWrite(hostPath, WriteGuard{}, [&](const QString& target) -> Result<Attempt> {
        const Result<Replacement> written = replaceFileIfUnchanged(target, bytes, FileIdentity{});
        if (!written)
            return failure(written.reason());
        return Attempt::Done;
    });
}

Result<void> editFileAtomically(const QString& hostPath, const QString& within, const FileEdit& edit,
                                ReadOnlyFile readOnly)
{
    return guardedWrite(hostPath, WriteGuard{within}, [&](const QString& target) -> Result<Attempt> {
        // Watched and identified before the bytes are read: a change made from then on is seen
        // before the new file is put in place.
        FileChangeWatch watch(target);
        (void)watch.look();
        FileWrites writes(target);
        const Result<HostFileContents> current =
            readHostFileIfPresent(target, HostFileRules{.within = within});
        if (!current)
            return failure(QStringLiteral("%1 cannot be read: %2").arg(fileNameOf(target), current.reason()));
        // Refused before the edit, which may take a backup for a change that will not be made.
        struct stat existing {};
        const QByteArray targetName = QFile::encodeName(target);
        if (readOnly == ReadOnlyFile::Refused && current->bytes.isPresent() &&
            ::lstat(targetName.constData(), &existing) == 0) {
            if (const Result<void> writable = checkWritable(targetName, existing, fileNameOf(target));
                !writable)
                return failure(writable.reason());
        }
        const Result<FileChange> edited = edit(current->bytes);
        if (!edited)
            return failure(edited.reason());
        if (edited->kind == FileChange::Kind::Keep)
            return Attempt::Done;
        if (watch.look() == FileChangeWatch::Seen::Change)
            return Attempt::FileChanged;
        if (edited->kind == FileChange::Kind::Remove)
            return removeIfUnchanged(target, current->identity);
        const Result<Replacement> written =
            replaceFileIfUnchanged(target, edited->bytes, current->identity, &writes, readOnly);
        if (!written)
            return failure(written.reason());
        return written->outcome;
    });
}

} // namespace velmora
