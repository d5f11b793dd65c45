#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Images made and judged by tools that share no code with Velmora (qemu-img, sfdisk, mkfs.fat).
namespace velmora::testing {

inline QByteArray runTool(const QString& program, const QStringList& args, const QByteArray& input = {})
{
    QProcess tool;
    tool.start(program, args);
    tool.write(input);
    tool.closeWriteChannel();
    tool.waitForFinished(60000);
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0) << program.toStdString() << " " << args.join(' ').toStdString() << ": "
                                  << tool.readAllStandardError().toStdString();
    return tool.readAllStandardOutput();
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

inline void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

// Bytes no two places of which are alike, so a sector read from the wrong place shows.
inline QByteArray patterned(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = seed * 2654435761u + 1;
    char* out = bytes.data();
    for (qint64 i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        out[i] = char(state >> 24);
    }
    return bytes;
}

// A scratch folder for one test's images.
class Scratch {
public:
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // A raw disk of `megabytes` with the given sfdisk script applied (no script: no table).
    QString rawDisk(const QString& name, int megabytes, const QByteArray& sfdiskScript,
                    quint32 seed = 1) const
    {
        const QString file = path(name);
        writeFileBytes(file, patterned(qint64(megabytes) << 20, seed));
        if (!sfdiskScript.isEmpty())
            runTool(QStringLiteral("sfdisk"), {QStringLiteral("-q"), QStringLiteral("--wipe=never"), file},
                    sfdiskScript);
        return file;
    }

    // `source` converted by qemu-img to `format` with the given options.
    QString converted(const QString& source, const QString& name, const QString& format,
                      const QStringList& options = {}) const
    {
        const QString file = path(name);
        QStringList args{QStringLiteral("convert"), QStringLiteral("-f"), QStringLiteral("raw"),
                         QStringLiteral("-O"), format};
        args += options;
        args << source << file;
        runTool(QStringLiteral("qemu-img"), args);
        return file;
    }

    // The disk inside any image, as qemu-img reads it.
    QByteArray asRaw(const QString& image, const QString& format) const
    {
        const QString out = path(QStringLiteral("as-raw.img"));
        runTool(QStringLiteral("qemu-img"), {QStringLiteral("convert"), QStringLiteral("-f"), format,
                                             QStringLiteral("-O"), QStringLiteral("raw"), image, out});
        QByteArray bytes = fileBytes(out);
        QFile::remove(out);
        return bytes;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace velmora::testing
