#pragma once

#include "disk/BlockDevice.h"
#include "disk/ImageAccess.h"

#include <memory>

struct nbd_handle;

namespace velmora {

// A container image (qcow2, VDI, VMDK, VHD, VHDX) reached through QEMU's own block layer: a
// private qemu-nbd started over a socket of its own, the format always named, never probed.
// QEMU's image locking stays on, so an image a running virtual machine holds is refused, and a
// differencing image is written as the machine would write it: to the top image only.
class NbdDevice final : public BlockDevice {
public:
    // `driver` is QEMU's name for the format ("qcow2", "vdi", "vmdk", "vpc", "vhdx").
    static Result<std::unique_ptr<NbdDevice>> open(const QString& path, const QString& driver,
                                                   ImageAccess access);
    ~NbdDevice() override;
    NbdDevice(const NbdDevice&) = delete;
    NbdDevice& operator=(const NbdDevice&) = delete;

    QString name() const override { return m_name; }
    qint64 size() const override { return m_size; }
    Result<QByteArray> read(qint64 offset, qint64 length) override;
    Result<void> write(qint64 offset, QByteArrayView bytes) override;
    Result<void> flush() override;

private:
    NbdDevice(QString name, nbd_handle* handle, qint64 size);
    Failure lastError() const;

    QString m_name;
    nbd_handle* m_handle;
    qint64 m_size;
};

} // namespace velmora
