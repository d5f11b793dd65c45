#pragma once

#include "disk/BlockDevice.h"

namespace velmora {

// A disk held in memory: for checking what the layers above make of given bytes.
class MemoryDevice final : public BlockDevice {
public:
    MemoryDevice(QString name, QByteArray bytes) : m_name(std::move(name)), m_bytes(std::move(bytes)) {}

    QString name() const override { return m_name; }
    qint64 size() const override { return m_bytes.size(); }
    Result<QByteArray> read(qint64 offset, qint64 length) override;
    Result<void> write(qint64 offset, QByteArrayView bytes) override;
    Result<void> flush() override { return {}; }
    const QByteArray& bytes() const { return m_bytes; }

private:
    QString m_name;
    QByteArray m_bytes;
};

} // namespace velmora
