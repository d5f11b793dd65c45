#include "platform/HostFile.h"

#include <QFile>
#include <QFileInfo>

namespace velmora {

Result<QByteArray> readHostFile(const QString& hostPath)
{
    const QFileInfo info(hostPath);
    if (info.isDir())
        return failure(QStringLiteral("a folder stands in the file's place"));
    if (!info.exists())
        return failure(QStringLiteral("the file does not exist"));
    if (!info.isFile())
        return failure(QStringLiteral("it is not an ordinary file"));
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return failure(file.errorString());
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failure(file.errorString());
    return data;
}

} // namespace velmora
