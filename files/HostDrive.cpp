#include "files/Drive.h"

#include "files/HostFile.h"

#include <QFileInfo>

namespace velmora {

Result<Found<QByteArray>> HostDrive::readIfPresent(const QString& path, qint64 limit)
{
    Result<HostFileContents> read = readHostFileIfPresent(path, HostFileRules{limit, m_root});
    if (!read)
        return failure(read.reason());
    return std::move(read->bytes);
}

bool HostDrive::isFolder(const QString& path)
{
    return QFileInfo(path).isDir();
}

QString HostDrive::folderOf(const QString& path) const
{
    return QFileInfo(path).absolutePath();
}

Result<void> HostDrive::edit(const QString& path, const FileEdit& edit, ReadOnlyFile readOnly)
{
    return editFileAtomically(path, m_root, edit, readOnly);
}

} // namespace velmora
