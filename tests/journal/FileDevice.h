#pragma once

#include "disk/BlockDevice.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora::test {

// A raw image file as a block device, with plain pread and pwrite.
class FileDevice final : public BlockDevice {
public:
    explicit FileDevice(const QString& path)
        : m_name(QFileInfo(path).fileName()),
          m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC))
    {
        struct stat st {};
        if (m_fd >= 0 && ::fstat(m_fd, &st) == 0)
            m_size = st.st_size;
    }
    ~FileDevice() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDevice(const FileDevice&) = delete;
    FileDevice& operator=(const FileDevice&) = delete;

    QString name() const override { return m_name; }
    qint64 size() const override { return m_size; }
    Result<QByteArray> read(qint64 offset, qint64 length) override
    {
        QByteArray bytes(length, Qt::Uninitialized);
        if (::pread(m_fd, bytes.data(), size_t(length), offset) != length)
            return failure(QString::fromLocal8Bit(std::strerror(errno)));
        return bytes;
    }
    Result<void> write(qint64 offset, QByteArrayView bytes) override
    {
        if (::pwrite(m_fd, bytes.data(), size_t(bytes.size()), offset) != bytes.size())
            return failure(QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    Result<void> flush() override
    {
        if (::fdatasync(m_fd) != 0)
            return failure(QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }

private:
    QString m_name;
    int m_fd;
    qint64 m_size = 0;
};

// A device whose program is killed after a number of writes and flushes: from then on nothing
// reaches the device below, as after a kill -9 or a power cut.
class DyingDevice final : public BlockDevice {
public:
    DyingDevice(BlockDevice& below, int operationsLeft) : m_below(below), m_left(operationsLeft) {}

    QString name() const override { return m_below.name(); }
    qint64 size() const override { return m_below.size(); }
    Result<QByteArray> read(qint64 offset, qint64 length) override { return m_below.read(offset, length); }
    Result<void> write(qint64 offset, QByteArrayView bytes) override
    {
        if (!live())
            return failure(QStringLiteral("killed"));
        return m_below.write(offset, bytes);
    }
    Result<void> flush() override
    {
        if (!live())
            return failure(QStringLiteral("killed"));
        return m_below.flush();
    }
    bool died() const { return m_left < 0; }

private:
    bool live() { return --m_left >= 0; }

    BlockDevice& m_below;
    int m_left;
};

inline QByteArray readWholeFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace velmora::test
