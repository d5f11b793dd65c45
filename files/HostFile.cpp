#include "files/HostFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString tooLarge(qint64 size, qint64 limit)
{
    return QStringLiteral("at %1 bytes it is too large (Velmora reads files of up to %2 bytes)")
        .arg(size)
        .arg(limit);
}

QString isALink()
{
    return QStringLiteral("it is a link");
}

std::optional<QByteArray> realPath(const QByteArray& path)
{
    char* real = ::realpath(path.constData(), nullptr);
    if (!real)
        return std::nullopt;
    QByteArray resolved(real);
    std::free(real);
    return resolved;
}

bool isInside(const QByteArray& path, const QByteArray& folder)
{
    return path.startsWith(folder) && path.size() > folder.size() &&
           (folder.endsWith('/') || path[folder.size()] == '/');
}

// The file a path leads to, every link followed, checked against the rules; an empty path when
// nothing is there.
struct Located {
    QByteArray path;
    struct stat status {};
};

Result<Located> locate(const QString& hostPath, const HostFileRules& rules)
{
    const QByteArray name = QFile::encodeName(hostPath);
    struct stat own {};
    if (::lstat(name.constData(), &own) != 0) {
        if (errno == ENOENT)
            return Located{};
        return failure(systemReason(errno));
    }
    const bool isLink = S_ISLNK(own.st_mode);
    if (isLink && rules.noLink)
        return failure(isALink());
    const std::optional<QByteArray> real = realPath(name);
    if (!real) {
        if (isLink && (errno == ENOENT || errno == ELOOP))
            return failure(QStringLiteral("the file is a link that leads nowhere"));
        return failure(systemReason(errno));
    }
    if (!rules.within.isEmpty()) {
        const std::optional<QByteArray> folder = realPath(QFile::encodeName(rules.within));
        if (!folder || !isInside(*real, *folder))
            return failure(isLink ? QStringLiteral("the file is a link that leads out of the machine")
                                  : QStringLiteral("a link on the way to the file leads out of the machine"));
    }
    Located located{*real, {}};
    if (::stat(real->constData(), &located.status) != 0)
        return failure(systemReason(errno));
    if (const QString refusal = notAFile(located.status.st_mode); !refusal.isEmpty())
        return failure(refusal);
    if (located.status.st_size > rules.limit)
        return failure(tooLarge(located.status.st_size, rules.limit));
    return located;
}

// Whether the open file lies inside the folder, as the kernel names it: a folder on the way to
// it may have been replaced by a link since it was looked at. Without /proc, the look stands.
bool openedInside(int fd, const QString& within)
{
    char name[PATH_MAX];
    const ssize_t n =
        ::readlink(QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), name, sizeof name);
    if (n <= 0 || size_t(n) >= sizeof name)
        return true;
    const std::optional<QByteArray> folder = realPath(QFile::encodeName(within));
    return folder && isInside(QByteArray(name, n), *folder);
}

// Reads to the end of the file, or to one byte past the limit (a file that grows while read).
Result<QByteArray> readAll(int fd, qsizetype sizeHint, const HostFileRules& rules)
{
    // One byte more than expected, so the end is seen without growing the buffer.
    QByteArray out(sizeHint + 1 + rules.spare, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled <= rules.limit) {
        if (filled == out.size())
            out.resize(qsizetype(std::min<qint64>(out.size() + 65536, rules.limit + 1)));
        const ssize_t n = ::read(fd, out.data() + filled, size_t(out.size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return failure(systemReason(errno));
        }
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > rules.limit)
        return failure(QStringLiteral("it grew beyond %1 bytes while being read").arg(rules.limit));
    out.truncate(filled);
    return out;
}

} // namespace

QString notAFile(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("a folder stands in the file's place");
    const char* what = S_ISFIFO(mode)                   ? "a FIFO"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "something unknown";
    return QStringLiteral("it is not an ordinary file but %1").arg(QLatin1String(what));
}

Result<HostFileContents> readHostFileIfPresent(const QString& hostPath, const HostFileRules& rules)
{
    const Result<Located> located = locate(hostPath, rules);
    if (!located)
        return failure(located.reason());
    HostFileContents contents;
    contents.identity.error = ENOENT;
    if (located->path.isEmpty())
        return contents;
    // Never blocking, never through a link put in place since: a FIFO or a device swapped in
    // after the look above is seen below, unopened for reading. A file that must not be a link is
    // opened by its own name, so that such a link is refused rather than followed.
    const QByteArray opened = rules.noLink ? QFile::encodeName(hostPath) : located->path;
    const int fd = ::open(opened.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return contents;
        return failure(errno == ELOOP && rules.noLink ? isALink() : systemReason(errno));
    }
    struct stat status {};
    Result<QByteArray> bytes = failure(QString());
    if (::fstat(fd, &status) != 0)
        bytes = failure(systemReason(errno));
    else if (const QString refusal = notAFile(status.st_mode); !refusal.isEmpty())
        bytes = failure(refusal);
    else if (status.st_size > rules.limit)
        bytes = failure(tooLarge(status.st_size, rules.limit));
    else if (!rules.within.isEmpty() && !openedInside(fd, rules.within))
        bytes = failure(QStringLiteral("a link on the way to the file leads out of the machine"));
    else
        bytes = readAll(fd, qsizetype(status.st_size), rules);
    ::close(fd);
    if (!bytes)
        return failure(bytes.reason());
    contents.bytes = found(std::move(*bytes));
    contents.identity = FileIdentity::of(status);
    return contents;
}

Result<QByteArray> readHostFile(const QString& hostPath, const HostFileRules& rules)
{
    Result<HostFileContents> contents = readHostFileIfPresent(hostPath, rules);
    if (!contents)
        return failure(contents.reason());
    if (!contents->bytes.isPresent())
        return failure(QStringLiteral("the file does not exist"));
    return std::move(contents->bytes.value);
}

Result<bool> hostFileExists(const QString& hostPath, const HostFileRules& rules)
{
    const Result<Located> located = locate(hostPath, rules);
    if (!located)
        return failure(located.reason());
    return !located->path.isEmpty();
}

QString shownInMessage(QStringView text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            shown += QStringLiteral("<0x%1>").arg(
                QString::number(c.unicode(), 16).toUpper().rightJustified(2, u'0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace velmora
