#include "disk/MemoryDevice.h"

#include "disk/ByteFields.h"

namespace velmora {

Result<QByteArray> MemoryDevice::read(qint64 offset, qint64 length)
{
    if (!fitsInside(offset, length, size()))
        return failure(QStringLiteral("%1: a read past the end of the disk").arg(m_name));
    return m_bytes.mid(offset, length);
}

Result<void> MemoryDevice::write(qint64 offset, QByteArrayView bytes)
{
    if (!fitsInside(offset, bytes.size(), size()))
        return failure(QStringLiteral("%1: a write past the end of the disk").arg(m_name));
    m_bytes.replace(offset, bytes.size(), bytes);
    return {};
}

} // namespace velmora
