#include "files/FileWrites.h"

#include <QFile>

#include <sys/inotify.h>
#include <unistd.h>

#include <utility>

namespace velmora {

FileWrites::FileWrites(const QString& path) : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    const QByteArray name = QFile::encodeName(path);
    // The file is looked at on both sides of setting the watch: when it was replaced meanwhile,
    // which of the two files is watched is not known, so neither is.
    const FileIdentity before = FileIdentity::ofPath(name);
    if (m_fd < 0 || before.error != 0 || ::inotify_add_watch(m_fd, name.constData(), IN_MODIFY) < 0 ||
        FileIdentity::ofPath(name) != before) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_file = before;
}

FileWrites::~FileWrites()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FileWrites::FileWrites(FileWrites&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_file(other.m_file), m_seen(other.m_seen)
{
}

FileWrites& FileWrites::operator=(FileWrites&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_file = other.m_file;
        m_seen = other.m_seen;
    }
    return *this;
}

bool FileWrites::watches(const FileIdentity& id) const
{
    return m_fd >= 0 && id.error == 0 && id.device == m_file.device && id.inode == m_file.inode;
}

bool FileWrites::seen()
{
    alignas(inotify_event) char events[4096];
    while (m_fd >= 0 && ::read(m_fd, events, sizeof events) > 0)
        m_seen = true;
    return m_seen;
}

} // namespace velmora
