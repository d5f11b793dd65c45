#include "platform/HostFile.h"

#include <QFile>
#include <QFileInfo>

namespace velmora {

std::optional<QByteArray> readHostFile(const QString& hostPath, QString* reason)
{
    auto fail = [reason](const QString& why) -> std::optional<QByteArray> {
        if (reason)
            *reason = why;
        return std::nullopt;
    };
    const QFileInfo info(hostPath);
    if (info.isDir())
        return fail(QStringLiteral("a folder stands in the file's place"));
    if (!info.exists())
        return fail(QStringLiteral("the file does not exist"));
    if (!info.isFile())
        return fail(QStringLiteral("it is not an ordinary file"));
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    return data;
}

} // namespace velmora
