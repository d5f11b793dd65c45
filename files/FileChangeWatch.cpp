#include "files/FileChangeWatch.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace velmora {

FileChangeWatch::FileChangeWatch(const QString& filePath) : m_path(filePath) {}

FileChangeWatch::~FileChangeWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace {

bool isLink(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

} // namespace

void FileChangeWatch::start()
{
    m_started = true;
    const QFileInfo info(m_path);
    m_name = QFile::encodeName(info.fileName());
    if (isLink(m_path))
        return;
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    constexpr uint32_t events = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_CREATE | IN_DELETE | IN_DELETE_SELF | IN_MOVE_SELF;
    if (::inotify_add_watch(m_fd, QFile::encodeName(info.absolutePath()).constData(), events) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void FileChangeWatch::ownWrite()
{
    (void)look();
    m_unsure = true;
}

FileChangeWatch::Seen FileChangeWatch::look()
{
    const bool unsure = std::exchange(m_unsure, false);
    if (!m_started) {
        start();
        return Seen::Unknown;
    }
    if (m_fd < 0)
        return Seen::Unknown;
    Seen seen = Seen::Nothing;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                break;
            if (seen == Seen::Change && isLink(m_path))
                break; // a link took the file's place: its target is not watched
            return seen == Seen::Nothing && unsure ? Seen::Unknown : seen;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & (IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
                // Events were lost, or the folder itself went away.
                ::close(m_fd);
                m_fd = -1;
                return Seen::Unknown;
            }
            if (event->len > 0 && std::strcmp(event->name, m_name.constData()) == 0)
                seen = Seen::Change;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::close(m_fd); // the watch is broken: the caller looks at the file from now on
    m_fd = -1;
    return Seen::Unknown;
}

} // namespace velmora
