#include "files/FileIdentity.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace velmora {
namespace {

FileIdentity fromResult(int result, const struct stat& st)
{
    if (result == 0)
        return FileIdentity::of(st);
    FileIdentity id;
    id.error = errno;
    return id;
}

} // namespace

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

FileIdentity FileIdentity::of(const QString& path)
{
    struct stat st {};
    const int result = ::stat(QFile::encodeName(path).constData(), &st);
    return fromResult(result, st);
}

FileIdentity FileIdentity::ofPath(const QByteArray& path)
{
    struct stat st {};
    const int result = ::lstat(path.constData(), &st);
    return fromResult(result, st);
}

FileIdentity FileIdentity::ofOpen(int fd)
{
    struct stat st {};
    const int result = ::fstat(fd, &st);
    return fromResult(result, st);
}

} // namespace velmora
