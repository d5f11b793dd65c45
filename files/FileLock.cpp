#include "files/FileLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velmora {

FileLock::FileLock(const QString& path, On on) : m_path(path), m_on(on) {}

FileLock::~FileLock()
{
    unlock();
    if (m_fd >= 0)
        ::close(m_fd);
}

Result<void> FileLock::open()
{
    if (m_fd >= 0)
        return {};
    const QByteArray path = QFile::encodeName(m_path);
    m_fd = m_on == On::Folder ? ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                              : ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (m_fd >= 0)
        return {};
    const QString why = errno == ELOOP ? QStringLiteral("it is a link, which is not followed")
                                       : QString::fromLocal8Bit(std::strerror(errno));
    return failure(m_on == On::Folder ? QStringLiteral("cannot lock the folder %1: %2").arg(m_path, why)
                                      : QStringLiteral("cannot open the lock file %1: %2").arg(m_path, why));
}

Result<void> FileLock::acquire(int operation)
{
    if (Result<void> opened = open(); !opened)
        return opened;
    while (::flock(m_fd, operation) != 0) {
        if (errno != EINTR)
            return failure(QStringLiteral("cannot lock %1: %2")
                               .arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    m_locked = true;
    return {};
}

Result<void> FileLock::lock()
{
    return acquire(LOCK_EX);
}

bool FileLock::tryLock()
{
    return acquire(LOCK_EX | LOCK_NB).ok();
}

void FileLock::unlock()
{
    if (m_locked) {
        ::flock(m_fd, LOCK_UN);
        m_locked = false;
    }
}

} // namespace velmora
