#include "disk/ImageUse.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

// QEMU locks byte 100 + n while it holds permission n and byte 200 + n while it denies it to
// others; permissions are few, so one probe over both ranges sees every lock it takes.
constexpr off_t kQemuLockStart = 100;
constexpr off_t kQemuLockLength = 200;
constexpr off_t kPermissionBytes = 100; // read 100, write 101
constexpr off_t kUnsharedWriteByte = 201;

QString systemReason(int error = errno)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isNumber(const char* name)
{
    if (!*name)
        return false;
    for (; *name; ++name) {
        if (*name < '0' || *name > '9')
            return false;
    }
    return true;
}

// A short text from /proc, which the process itself may have set: bounded, one line, printable.
QString procText(const QByteArray& path, qsizetype limit)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.read(limit)).section(u'\n', 0, 0);
    for (QChar& c : text) {
        if (!c.isPrint())
            c = u'?';
    }
    return text;
}

// The kernel keeps 15 bytes of a program's name; the program file's own name is whole.
QString programName(qint64 pid)
{
    const QByteArray base = "/proc/" + QByteArray::number(pid);
    QString name = procText(base + "/comm", 64);
    if (name.size() == 15) {
        char target[4096];
        const ssize_t n = ::readlink((base + "/exe").constData(), target, sizeof target - 1);
        if (n > 0) {
            const QString file = QFileInfo(QString::fromLocal8Bit(target, n)).fileName();
            if (file.startsWith(name) && file.size() <= 64)
                name = file;
        }
    }
    return name.isEmpty() ? QStringLiteral("a program") : name;
}

QString describe(const QList<ImageHolder>& holders)
{
    QStringList names;
    for (const ImageHolder& h : holders)
        names.append(QStringLiteral("%1 (process %2)").arg(h.program).arg(h.pid));
    if (names.size() > 1)
        return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
               names.last();
    return names.value(0);
}

// A lock on QEMU's bytes held through another open file than probeFd: its owner's process id
// when the lock tells it (a process lock; QEMU's open-file locks have none, -1), 0 when free.
Result<qint64> foreignQemuLock(int probeFd)
{
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kQemuLockStart;
    probe.l_len = kQemuLockLength;
    if (::fcntl(probeFd, F_OFD_GETLK, &probe) != 0)
        return failure(systemReason());
    if (probe.l_type == F_UNLCK)
        return qint64(0);
    return qint64(probe.l_pid > 0 ? probe.l_pid : -1);
}

enum class ProcessLook { Needed, Skipped };

// oursHoldIt: whether one of ours holds the file; found by a look, else taken as the last look found it.
Result<void> checkUse(const QString& imagePath, const QList<qint64>& ours, int probeFd, ProcessLook look,
                      bool& oursHoldIt)
{
    const QString image = QFileInfo(imagePath).fileName();
    auto inUse = [&](const QString& by) -> Result<void> {
        return failure(
            QStringLiteral("%1 is in use by %2: shut that down before changing the disk").arg(image, by));
    };

    // Beside the path the virtual machine was given, which may be a link, or the file itself.
    for (const QString& disk : {imagePath, QFileInfo(imagePath).canonicalFilePath()}) {
        const QFileInfo vmwareLock(disk + QStringLiteral(".lck"));
        if (!disk.isEmpty() && vmwareLock.isDir())
            return inUse(QStringLiteral("VMware (the folder %1 is beside it)").arg(vmwareLock.fileName()));
    }

    int fd = probeFd;
    if (fd < 0) {
        fd = ::open(QFile::encodeName(imagePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return failure(QStringLiteral("%1: %2").arg(image, systemReason()));
    }
    const Result<qint64> lock = foreignQemuLock(fd);
    if (fd != probeFd)
        ::close(fd);
    if (!lock)
        return failure(QStringLiteral("%1: %2").arg(image, lock.reason()));

    const QList<ImageHolder> holders =
        look == ProcessLook::Needed ? processesHoldingFile(imagePath) : QList<ImageHolder>{};
    QList<ImageHolder> others;
    if (look == ProcessLook::Needed)
        oursHoldIt = false;
    for (const ImageHolder& h : holders) {
        if (ours.contains(h.pid))
            oursHoldIt = true;
        else
            others.append(h);
    }
    if (*lock > 0 && *lock != ::getpid() && !ours.contains(*lock))
        return inUse(describe({ImageHolder{*lock, programName(*lock)}}));
    if (!others.isEmpty())
        return inUse(describe(others));
    // A lock whose holder is not among the processes we can see (another user's) still counts;
    // one of our own helpers holding the file holds the lock, since QEMU's locks exclude each other.
    if (*lock != 0 && !oursHoldIt)
        return inUse(QStringLiteral("a program Velmora cannot see, which holds QEMU's lock on it"));
    return {};
}

bool setLock(int fd, short type, off_t start, off_t length)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

} // namespace

QList<ImageHolder> processesHoldingFile(const QString& path, const QList<qint64>& ignored)
{
    QList<ImageHolder> holders;
    struct stat image {};
    if (::stat(QFile::encodeName(path).constData(), &image) != 0)
        return holders;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return holders;
    const qint64 self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        if (!isNumber(entry->d_name))
            continue;
        const qint64 pid = QByteArray(entry->d_name).toLongLong();
        if (pid == self || ignored.contains(pid))
            continue;
        // Another user's processes cannot be looked into without privileges: skipped.
        DIR* fds = ::opendir(("/proc/" + QByteArray(entry->d_name) + "/fd").constData());
        if (!fds)
            continue;
        while (const dirent* fd = ::readdir(fds)) {
            struct stat st {};
            if (isNumber(fd->d_name) && ::fstatat(::dirfd(fds), fd->d_name, &st, 0) == 0 &&
                st.st_dev == image.st_dev && st.st_ino == image.st_ino) {
                holders.append(ImageHolder{pid, programName(pid)});
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return holders;
}

Result<void> checkImageNotInUse(const QString& imagePath, const QList<qint64>& ourProcesses)
{
    bool oursHoldIt = false;
    return checkUse(imagePath, ourProcesses, -1, ProcessLook::Needed, oursHoldIt);
}

ImageHold::~ImageHold()
{
    release();
}

ImageHold::ImageHold(ImageHold&& other) noexcept
    : m_path(std::move(other.m_path)), m_fd(other.m_fd), m_opens(other.m_opens),
      m_lookAgain(other.m_lookAgain), m_oursHoldIt(other.m_oursHoldIt),
      m_oursAtLastLook(std::move(other.m_oursAtLastLook))
{
    other.m_fd = -1;
    other.m_opens = -1;
}

ImageHold& ImageHold::operator=(ImageHold&& other) noexcept
{
    if (this != &other) {
        release();
        m_path = std::move(other.m_path);
        m_fd = other.m_fd;
        m_opens = other.m_opens;
        m_lookAgain = other.m_lookAgain;
        m_oursHoldIt = other.m_oursHoldIt;
        m_oursAtLastLook = std::move(other.m_oursAtLastLook);
        other.m_fd = -1;
        other.m_opens = -1;
    }
    return *this;
}

void ImageHold::release()
{
    if (m_fd >= 0)
        ::close(m_fd); // closing the file gives its open-file locks up
    if (m_opens >= 0)
        ::close(m_opens);
    m_fd = -1;
    m_opens = -1;
}

bool ImageHold::openedSinceLastLook()
{
    if (m_opens < 0)
        return true;
    bool opened = false;
    alignas(inotify_event) char events[4096];
    for (;;) {
        const ssize_t n = ::read(m_opens, events, sizeof events);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return opened;
        if (n <= 0)
            return true; // the watch failed: every look is needed from now on
        opened = true;   // an open, or the queue overflowed; each one is a reason to look
    }
}

bool ImageHold::stillNamedByPath() const
{
    struct stat named {};
    struct stat held {};
    return ::stat(QFile::encodeName(m_path).constData(), &named) == 0 && ::fstat(m_fd, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

Result<ImageHold> ImageHold::opened(const QString& imagePath)
{
    ImageHold hold;
    hold.m_path = imagePath;
    hold.m_fd = ::open(QFile::encodeName(imagePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (hold.m_fd < 0)
        return failure(QStringLiteral("%1: %2").arg(QFileInfo(imagePath).fileName(), systemReason()));
    return hold;
}

void ImageHold::watchOpens()
{
    // The watch is on the file itself (through our own descriptor): every open counts, by any
    // name, link or user. Without it (no inotify, its limits reached) every check looks at every
    // process.
    m_opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_opens >= 0) {
        const QByteArray ours = "/proc/self/fd/" + QByteArray::number(m_fd);
        if (::inotify_add_watch(m_opens, ours.constData(), IN_OPEN) < 0) {
            ::close(m_opens);
            m_opens = -1;
        }
    }
}

Result<ImageHold> ImageHold::take(const QString& imagePath)
{
    Result<ImageHold> hold = opened(imagePath);
    if (!hold)
        return hold;
    // Locked first and checked after, as QEMU does: of two programs starting at once, neither
    // then goes on unseen by the other.
    if (!setLock(hold->m_fd, F_RDLCK, kPermissionBytes, 2) ||
        !setLock(hold->m_fd, F_RDLCK, kUnsharedWriteByte, 1))
        return failure(QStringLiteral("%1: %2").arg(QFileInfo(imagePath).fileName(), systemReason()));
    // Watched from before the first look on, so no open of the file falls between the two.
    hold->watchOpens();
    if (const Result<void> free = hold->checkNotInUse(); !free)
        return failure(free.reason());
    return hold;
}

Result<ImageHold> ImageHold::watch(const QString& imagePath)
{
    Result<ImageHold> hold = opened(imagePath);
    if (hold)
        hold->watchOpens();
    return hold;
}

Result<void> ImageHold::checkNotInUse(const QList<qint64>& ourProcesses)
{
    // Nobody but ours held the file at the last look and nobody has opened it since: nobody else
    // can hold it now, so only the locks and VMware's folder are looked at again. The events are
    // read before the look, so an open during it is seen next time.
    if (openedSinceLastLook() || ourProcesses != m_oursAtLastLook || !stillNamedByPath())
        m_lookAgain = true;
    const Result<void> free = checkUse(
        m_path, ourProcesses, m_fd, m_lookAgain ? ProcessLook::Needed : ProcessLook::Skipped, m_oursHoldIt);
    if (free) {
        m_lookAgain = false;
        m_oursAtLastLook = ourProcesses;
    }
    return free;
}

} // namespace velmora
