#pragma once

#include "support/FileDevice.h"
#include "support/FileFixtures.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Images made and judged by tools that share no code with Velmora (qemu-img, sfdisk, mkfs.fat).
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

} // namespace velmora::testing
