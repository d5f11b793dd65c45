#include "disk/DeviceWindow.h"

#include "disk/ByteFields.h"

namespace velmora {

DeviceWindow::DeviceWindow(std::shared_ptr<BlockDevice> base, QString name, qint64 offset, qint64 length)
    : m_base(std::move(base)), m_name(std::move(name)), m_offset(offset), m_length(length)
{
}

Result<QByteArray> DeviceWindow::read(qint64 offset, qint64 length)
{
    if (!fitsInside(offset, length, m_length))
        return failure(QStringLiteral("%1: a read past the end of the partition").arg(m_name));
    return m_base->read(m_offset + offset, length);
}

Result<void> DeviceWindow::write(qint64 offset, QByteArrayView bytes)
{
    if (!fitsInside(offset, bytes.size(), m_length))
        return failure(QStringLiteral("%1: a write past the end of the partition").arg(m_name));
    return m_base->write(m_offset + offset, bytes);
}

Result<void> DeviceWindow::flush()
{
    return m_base->flush();
}

} // namespace velmora
