#pragma once

// The outside tools that make and judge the test volumes (dosfstools, mtools), and a block
// device over an image file.
#include "disk/BlockDevice.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmora::fattest {

inline const QString kSystemDat = QStringLiteral(VELMORA_TEST_DATA "/SYSTEM.DAT");

// The image file itself: every byte, read and written in place.
class FileDevice : public BlockDevice {
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
        ++writes;
        if (offset < 0 || offset + bytes.size() > size() || !m_file.seek(offset) ||
            m_file.write(bytes.data(), bytes.size()) != bytes.size())
            return failure(QStringLiteral("write outside the image"));
        return {};
    }
    Result<void> flush() override
    {
        return m_file.flush() ? Result<void>() : failure(QStringLiteral("flush"));
    }
    int writes = 0;

private:
    QFile m_file;
};

struct Run {
    int exitCode = -1;
    QByteArray out;
};

inline Run run(const QString& program, const QStringList& args)
{
    QProcess p;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAll()};
}

// An mtools command on the image, which must succeed: mcopy, mmd, mdel, mattrib...
inline QByteArray mtool(const QString& image, const QString& tool, QStringList args)
{
    args.prepend(image);
    args.prepend(QStringLiteral("-i"));
    const Run r = run(tool, args);
    EXPECT_EQ(r.exitCode, 0) << tool.toStdString() << " " << args.join(' ').toStdString() << ": "
                             << r.out.toStdString();
    return r.out;
}

// A new volume of kib KiB: mkfs.fat -F bits, one sector per cluster unless told.
inline void makeVolume(const QString& image, int bits, int kib, const QStringList& extra = {})
{
    QFile::remove(image);
    const Run r = run(QStringLiteral("mkfs.fat"),
                      QStringList{QStringLiteral("-C"), QStringLiteral("-F"), QString::number(bits),
                                  QStringLiteral("-s"), QStringLiteral("1")} +
                          extra + QStringList{image, QString::number(kib)});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
}

inline void expectFsckClean(const QString& image)
{
    const Run r = run(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), image});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
}

// What mtools reads of a file: its bytes and its attribute letters ("A  SHR").
inline QByteArray mtype(const QString& image, const QString& path)
{
    return mtool(image, QStringLiteral("mtype"), {QStringLiteral("::/") + path});
}
inline QByteArray mattrib(const QString& image, const QString& path)
{
    const QByteArray out = mtool(image, QStringLiteral("mattrib"), {QStringLiteral("::/") + path});
    return out.left(out.indexOf("::")).trimmed();
}

inline QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size());
}

} // namespace velmora::fattest
