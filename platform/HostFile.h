#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QString>

namespace velmora {

// The whole content of an ordinary file on the host; a failure, with the reason in words for
// the user, when a folder stands in its place, it does not exist, it is a pipe or a device
// (reading one could block the program forever) or it cannot be read.
Result<QByteArray> readHostFile(const QString& hostPath);

} // namespace velmora
