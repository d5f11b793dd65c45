#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

QString systemReason()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool fail(QString* reason, const QString& text)
{
    if (reason)
        *reason = text;
    return false;
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

} // namespace

bool writeFileAtomically(const QString& hostPath, QByteArrayView bytes, QString* reason)
{
    const QFileInfo info(hostPath);
    if (info.isDir())
        return fail(reason, QStringLiteral("a folder stands in the file's place"));
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray folder = QFile::encodeName(info.absolutePath());

    mode_t mode = 0644;
    struct stat existing {};
    if (::stat(target.constData(), &existing) == 0) {
        mode = existing.st_mode & 07777;
        // A read-only file stays unchanged, as it would on the real machine.
        if (::access(target.constData(), W_OK) != 0)
            return fail(reason, systemReason());
    }

    QByteArray temp = target + ".velmora-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(reason, systemReason());

    auto abandon = [&](const QString& why) {
        ::close(fd);
        ::unlink(temp.constData());
        return fail(reason, why);
    };
    if (!writeAll(fd, bytes))
        return abandon(systemReason());
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        return abandon(systemReason());
    if (::close(fd) != 0) {
        const QString why = systemReason();
        ::unlink(temp.constData());
        return fail(reason, why);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const QString why = systemReason();
        ::unlink(temp.constData());
        return fail(reason, why);
    }
    syncFolder(folder);
    return true;
}

} // namespace velmora
