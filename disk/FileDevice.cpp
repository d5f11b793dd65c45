#include "disk/FileDevice.h"

#include "disk/ByteFields.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

Result<FileDevice::OpenFile> FileDevice::openImageFile(const QString& path, ImageAccess access)
{
    const int flags = (access == ImageAccess::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY;
    // O_NONBLOCK keeps a FIFO in the image's place from stalling the open; it is checked below.
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK);
    if (fd < 0)
        return failure(systemError());
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return failure(QStringLiteral("it is not an ordinary file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return OpenFile{fd, qint64(info.st_size)};
}

Result<QByteArray> FileDevice::readAt(int fd, qint64 offset, qint64 length)
{
    QByteArray bytes(length, Qt::Uninitialized);
    qint64 done = 0;
    while (done < length) {
        const ssize_t got = ::pread(fd, bytes.data() + done, size_t(length - done), off_t(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return failure(systemError());
        if (got == 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

FileDevice::FileDevice(QString name, int fd, qint64 offset, qint64 length)
    : m_name(std::move(name)), m_fd(fd), m_offset(offset), m_length(length)
{
}

FileDevice::~FileDevice()
{
    ::close(m_fd);
}

Result<QByteArray> FileDevice::read(qint64 offset, qint64 length)
{
    if (!fitsInside(offset, length, m_length))
        return failure(QStringLiteral("%1: a read past the end of the disk").arg(m_name));
    Result<QByteArray> bytes = readAt(m_fd, m_offset + offset, length);
    if (!bytes)
        return failure(QStringLiteral("%1: %2").arg(m_name, bytes.reason()));
    if (bytes->size() != length)
        return failure(QStringLiteral("%1: the image file ends before the disk does").arg(m_name));
    return bytes;
}

Result<void> FileDevice::write(qint64 offset, QByteArrayView bytes)
{
    if (!fitsInside(offset, bytes.size(), m_length))
        return failure(QStringLiteral("%1: a write past the end of the disk").arg(m_name));
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(m_fd, bytes.data() + done, size_t(bytes.size() - done), off_t(m_offset + offset + done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return failure(
                QStringLiteral("%1: %2").arg(m_name, put < 0 ? systemError() : QStringLiteral("no room")));
        done += put;
    }
    return {};
}

Result<void> FileDevice::flush()
{
    if (::fdatasync(m_fd) != 0)
        return failure(QStringLiteral("%1: %2").arg(m_name, systemError()));
    return {};
}

} // namespace velmora
