#pragma once

#include "disk/BlockDevice.h"

#include <memory>

namespace velmora {

// One stretch of another device seen as a device of its own, addressed from 0: a partition of
// a disk. Nothing is read or written outside the stretch.
class DeviceWindow final : public BlockDevice {
public:
    // The stretch must lie inside `base`.
    DeviceWindow(std::shared_ptr<BlockDevice> base, QString name, qint64 offset, qint64 length);

    QString name() const override { return m_name; }
    qint64 size() const override { return m_length; }
    Result<QByteArray> read(qint64 offset, qint64 length) override;
    Result<void> write(qint64 offset, QByteArrayView bytes) override;
    Result<void> flush() override;

private:
    std::shared_ptr<BlockDevice> m_base;
    QString m_name;
    qint64 m_offset;
    qint64 m_length;
};

} // namespace velmora
