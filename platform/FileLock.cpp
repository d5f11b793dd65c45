#include "platform/FileLock.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velmora {

FileLock::FileLock(const QString& lockPath) : m_path(lockPath) {}

FileLock::~FileLock()
{
    unlock();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileLock::lock(QString* reason)
{
    if (m_fd < 0) {
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd < 0) {
            if (reason)
                *reason = QStringLiteral("cannot open the lock file %1: %2")
                              .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            if (reason)
                *reason = QStringLiteral("cannot lock %1: %2")
                              .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
    }
    m_locked = true;
    return true;
}

void FileLock::unlock()
{
    if (m_locked) {
        ::flock(m_fd, LOCK_UN);
        m_locked = false;
    }
}

} // namespace velmora
