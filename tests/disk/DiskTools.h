#pragma once

#include "support/FileDevice.h"
#include "support/FileFixtures.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Images and volumes made and judged by tools that share no code with Velmora (qemu-img, sfdisk,
// dosfstools, mtools): shared by the tests of the disk and file-system layers.
namespace velmora::testing {

// Runs a command line (split as a shell would, without one) that must succeed; its output.
inline QByteArray run(const QString& commandLine, const QByteArray& input = {})
{
    QStringList args = QProcess::splitCommand(commandLine);
    const Ran tool = run(args.takeFirst(), args, input);
    EXPECT_EQ(tool.code, 0) << commandLine.toStdString() << ": " << tool.err.toStdString();
    return tool.out;
}

inline QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// A scratch folder for one test's images.
class Scratch {
public:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A raw disk of `megabytes` of patterned bytes partitioned by the sfdisk script.
    QString rawDisk(int megabytes, const QByteArray& sfdiskScript) const
    {
        const QString file = path(QStringLiteral("disk.img"));
        EXPECT_TRUE(writeBytes(file, patterned(qint64(megabytes) << 20, 1)));
        run(QStringLiteral("sfdisk -q --wipe=never ") + file, sfdiskScript);
        return file;
    }

    // `raw` converted by qemu-img to `format` ("qcow2", or with options: "vpc -o subformat=fixed").
    QString converted(const QString& raw, const QString& name, const QString& format) const
    {
        run(QStringLiteral("qemu-img convert -f raw -O %1 %2 %3").arg(format, raw, path(name)));
        return path(name);
    }

    // The disk inside an image, as qemu-img reads it.
    QByteArray asRaw(const QString& image, const QString& format) const
    {
        run(QStringLiteral("qemu-img convert -f %1 -O raw %2 %3")
                .arg(format, image, path(QStringLiteral("out.raw"))));
        return readBytes(path(QStringLiteral("out.raw")));
    }

private:
    QTemporaryDir m_dir;
};

inline const QString kSystemDat = QStringLiteral(VELMORA_TEST_DATA "/SYSTEM.DAT");

// An mtools command on the image, which must succeed: mcopy, mmd, mdel, mattrib...
inline QByteArray mtool(const QString& image, const QString& tool, QStringList args)
{
    args.prepend(image);
    args.prepend(QStringLiteral("-i"));
    const Ran r = run(tool, args);
    EXPECT_EQ(r.code, 0) << tool.toStdString() << " " << args.join(' ').toStdString() << ": "
                         << r.err.toStdString();
    return r.out;
}

// A new volume of kib KiB: mkfs.fat -F bits, one sector per cluster unless told.
inline void makeVolume(const QString& image, int bits, int kib, const QStringList& extra = {})
{
    QFile::remove(image);
    const Ran r = run(QStringLiteral("mkfs.fat"),
                      QStringList{QStringLiteral("-C"), QStringLiteral("-F"), QString::number(bits),
                                  QStringLiteral("-s"), QStringLiteral("1")} +
                          extra + QStringList{image, QString::number(kib)});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
}

inline void expectFsckClean(const QString& image)
{
    const Ran r = run(QStringLiteral("fsck.fat"), {QStringLiteral("-n"), image});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
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

} // namespace velmora::testing
