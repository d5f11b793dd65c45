#pragma once

#include "disk/BlockDevice.h"

#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace velmora::test {

inline QByteArray readWholeFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeWholeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A raw image file as a block device.
class FileDevice final : public BlockDevice {
public:
    explicit FileDevice(const QString& path) : m_file(path) { m_file.open(QIODevice::ReadWrite); }
    QString name() const override { return QFileInfo(m_file).fileName(); }
    qint64 size() const override { return m_file.size(); }
    Result<QByteArray> read(qint64 offset, qint64 length) override
    {
        if (!m_file.seek(offset))
            return failure(m_file.errorString());
        return m_file.read(length);
    }
    Result<void> write(qint64 offset, QByteArrayView bytes) override
    {
        if (!m_file.seek(offset) || m_file.write(bytes.data(), bytes.size()) != bytes.size() ||
            !m_file.flush())
            return failure(m_file.errorString());
        return {};
    }
    Result<void> flush() override
    {
        if (::fdatasync(m_file.handle()) != 0)
            return failure(QStringLiteral("not synced"));
        return {};
    }

private:
    QFile m_file;
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
        return --m_left < 0 ? failure(QStringLiteral("killed")) : m_below.write(offset, bytes);
    }
    Result<void> flush() override
    {
        return --m_left < 0 ? failure(QStringLiteral("killed")) : m_below.flush();
    }
    bool died() const { return m_left < 0; }

private:
    BlockDevice& m_below;
    int m_left;
};

} // namespace velmora::test
