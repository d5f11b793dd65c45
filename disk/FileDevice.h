#pragma once

#include "disk/BlockDevice.h"
#include "disk/ImageAccess.h"

#include <memory>

namespace velmora {

// A stretch of an image file read and written as it lies (pread, pwrite, fdatasync): a raw
// image, or the sectors of a fixed VHD, an HDI or an HDX between their header and footer.
class FileDevice final : public BlockDevice {
public:
    // Opens an ordinary file (never a device, a folder or a pipe) and reports its size.
    struct OpenFile {
        int fd = -1;
        qint64 size = 0;
    };
    static Result<OpenFile> openImageFile(const QString& path, ImageAccess access);
    // Reads up to `length` bytes at `offset` of an open file (fewer at its end).
    static Result<QByteArray> readAt(int fd, qint64 offset, qint64 length);

    // Takes over `fd`; the window [offset, offset + length) must lie inside the file.
    FileDevice(QString name, int fd, qint64 offset, qint64 length);
    ~FileDevice() override;
    FileDevice(const FileDevice&) = delete;
    FileDevice& operator=(const FileDevice&) = delete;

    QString name() const override { return m_name; }
    qint64 size() const override { return m_length; }
    Result<QByteArray> read(qint64 offset, qint64 length) override;
    Result<void> write(qint64 offset, QByteArrayView bytes) override;
    Result<void> flush() override;

private:
    QString m_name;
    int m_fd;
    qint64 m_offset;
    qint64 m_length;
};

} // namespace velmora
