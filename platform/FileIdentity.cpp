#include "platform/FileIdentity.h"

#include <cerrno>
#include <sys/stat.h>

namespace velmora {

FileIdentity FileIdentity::of(const struct stat& st)
{
    FileIdentity id;
    id.error = 0;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = quint64(st.st_size);
    id.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return id;
}

FileIdentity FileIdentity::ofPath(const QByteArray& path)
{
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0)
        return of(st);
    FileIdentity id;
    id.error = errno;
    return id;
}

} // namespace velmora
