#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

// The whole content of an ordinary file on the host; nothing, with the reason in words for
// the user, when a folder stands in its place, it does not exist, it is a pipe or a device
// (reading one could block the program forever) or it cannot be read.
std::optional<QByteArray> readHostFile(const QString& hostPath, QString* reason = nullptr);

} // namespace velmora
