#pragma once

#include "support/FileDevice.h"
#include "support/FileFixtures.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Images and volumes made and judged by tools that share no code with Velmora (qemu-img, sfdisk,
// dosfstools, mtools): shared by the tests of the disk and file-system layers.
namespace velmora::testing {

// Runs a tool that must succeed; its output.
inline QByteArray succeeded(const QString& program, const QStringList& arguments,
                            const QByteArray& input = {})
{
    const Ran tool = run(program, arguments, input);
    EXPECT_EQ(tool.code, 0) << program.toStdString() << ' ' << arguments.join(' ').toStdString() << ": "
                            << tool.out.toStdString() << tool.err.toStdString();
    return tool.out;
}

// The same for a command line, split as a shell would (without one).
inline QByteArray run(const QString& commandLine, const QByteArray& input = {})
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    const QString program = arguments.takeFirst();
    return succeeded(program, arguments, input);
}

inline QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// A scratch folder for one test's images.
struct Scratch : QTemporaryDir {
    // A raw disk of `megabytes` of patterned bytes partitioned by the sfdisk script.
    QString rawDisk(int megabytes, const QByteArray& sfdiskScript) const
    {
        EXPECT_TRUE(writeBytes(filePath("disk.img"), patterned(qint64(megabytes) << 20, 1)));
        run("sfdisk -q --wipe=never " + filePath("disk.img"), sfdiskScript);
        return filePath("disk.img");
    }

    // The disk inside an image, as qemu-img reads it.
    QByteArray asRaw(const QString& image, const QString& format) const
    {
        run(QString("qemu-img convert -f %1 -O raw %2 %3").arg(format, image, filePath("out.raw")));
        return readBytes(filePath("out.raw"));
    }
};

inline const QString kSystemDat = QStringLiteral(VELMORA_TEST_DATA "/SYSTEM.DAT");

// An mtools command on the image, which must succeed: mcopy, mmd, mdel, mattrib...
inline QByteArray mtool(const QString& image, const QString& tool, const QStringList& arguments)
{
    return succeeded(tool, QStringList{"-i", image} + arguments);
}

// A new volume of kib KiB: mkfs.fat -F bits, one sector per cluster unless told.
inline void makeVolume(const QString& image, int bits, int kib, const QStringList& extra = {})
{
    QFile::remove(image);
    succeeded("mkfs.fat", QStringList{"-C", "-F", QString::number(bits), "-s", "1"} + extra +
                              QStringList{image, QString::number(kib)});
}

} // namespace velmora::testing
