#pragma once

#include "disk/BlockDevice.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>

#include <unistd.h>

#include <limits>

// An image file as a block device, and the outside tools that make and judge images (dosfstools,
// mtools, qemu-img, sfdisk): shared by the tests of the disk, file-system and journal layers.
namespace velmora::testing {

// Every byte of the file, read and written in place; each write reaches the system at once, so a
// process killed after it leaves it in the file. After `operationsLeft` writes and flushes the
// program is taken as killed: nothing more reaches the file, as after a kill -9 or a power cut.
class FileDevice final : public BlockDevice {
public:
    explicit FileDevice(const QString& path) : m_file(path) { m_file.open(QIODevice::ReadWrite); }
    QString name() const override { return QFileInfo(m_file).fileName(); }
    qint64 size() const override { return m_file.size(); }
    Result<QByteArray> read(qint64 offset, qint64 length) override
    {
        if (offset < 0 || length < 0 || offset + length > size() || !m_file.seek(offset))
            return failure(QStringLiteral("read outside the image"));
        return m_file.read(length);
    }
    Result<void> write(qint64 offset, QByteArrayView bytes) override
    {
        if (--operationsLeft < 0)
            return failure(QStringLiteral("killed"));
        ++writes;
        if (offset < 0 || offset + bytes.size() > size() || !m_file.seek(offset) ||
            m_file.write(bytes.data(), bytes.size()) != bytes.size() || !m_file.flush())
            return failure(QStringLiteral("write outside the image"));
        return {};
    }
    Result<void> flush() override
    {
        if (--operationsLeft < 0 || ::fdatasync(m_file.handle()) != 0)
            return failure(QStringLiteral("not synced"));
        return {};
    }
    bool died() const { return operationsLeft < 0; }
    int writes = 0;
    int operationsLeft = std::numeric_limits<int>::max();

private:
    QFile m_file;
};

// Bytes no two places of which are alike, so a sector read from or written to the wrong place shows.
inline QByteArray patterned(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).generate(bytes.begin(), bytes.end());
    return bytes;
}

struct Ran {
    int code = -1;
    QByteArray out, err;
};

// Runs an outside tool without a shell, `input` on its standard input.
inline Ran run(const QString& program, const QStringList& arguments, const QByteArray& input = {})
{
    qputenv("MTOOLS_SKIP_CHECK", "1"); // mtools on volumes whose geometry it would question
    QProcess tool;
    tool.start(program, arguments);
    tool.write(input);
    tool.closeWriteChannel();
    const bool finished = tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit;
    return {finished ? tool.exitCode() : -1, tool.readAllStandardOutput(), tool.readAllStandardError()};
}

} // namespace velmora::testing
