#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace velmora {

// CRC-32C (Castagnoli) of bytes, continuing from an earlier value: enough to tell a torn or
// damaged record from a whole one, and fast enough to run over every byte a save touches.
quint32 crc32c(QByteArrayView bytes, quint32 previous = 0);

} // namespace velmora
