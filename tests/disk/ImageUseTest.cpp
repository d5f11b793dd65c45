#include "disk/ImageUse.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace velmora {
namespace {

struct Image {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("win98.img"));
    Image()
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(1 << 20));
    }
};

// Waits until the check gives the expected answer: a program started takes a moment to open
// and lock the image.
bool becomes(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000)
            return false;
        QThread::msleep(20);
    }
    return true;
}

struct Program {
    QProcess process;
    ~Program()
    {
        process.kill();
        process.waitForFinished();
    }
};

// Programs that have the image open, with or without QEMU's lock, are named with their process
// id; Velmora's own helper (given by its process id) does not count, nor does its lock.
TEST(ImageUse, AProgramUsingTheImageIsNamed)
{
    struct Row {
        const char* program;
        QStringList arguments; // %1 is the image
        bool readsStandardInput;
    };
    const Row rows[] = {
        {"sleep", {QStringLiteral("30")}, true},
        {"qemu-io",
         {QStringLiteral("-f"), QStringLiteral("raw"), QStringLiteral("-c"), QStringLiteral("sleep 30000"),
          QStringLiteral("%1")},
         false},
    };
    for (const Row& row : rows) {
        if (QStandardPaths::findExecutable(QLatin1String(row.program)).isEmpty()) {
            ADD_FAILURE() << row.program << " is missing (tools/install-deps.sh installs it)";
            continue;
        }
        Image image;
        ASSERT_TRUE(checkImageNotInUse(image.path));
        Program holder;
        if (row.readsStandardInput)
            holder.process.setStandardInputFile(image.path);
        QStringList arguments;
        for (const QString& a : row.arguments)
            arguments.append(a.contains(u"%1") ? a.arg(image.path) : a);
        holder.process.start(QLatin1String(row.program), arguments);
        ASSERT_TRUE(holder.process.waitForStarted());
        const qint64 pid = holder.process.processId();

        EXPECT_TRUE(becomes([&] { return !checkImageNotInUse(image.path).ok(); })) << row.program;
        const Result<void> refused = checkImageNotInUse(image.path);
        EXPECT_EQ(refused.reason(), QStringLiteral("win98.img is in use by %1 (process %2): shut that down "
                                                   "before changing the disk")
                                        .arg(QLatin1String(row.program))
                                        .arg(pid));
        EXPECT_EQ(processesHoldingFile(image.path), (QList<ImageHolder>{{pid, QLatin1String(row.program)}}));
        EXPECT_TRUE(checkImageNotInUse(image.path, {pid})) << row.program << " as our own helper";
    }
}

TEST(ImageUse, AVmwareLockFolderBesideTheImageRefusesIt)
{
    Image image;
    QDir(image.dir.path()).mkdir(QStringLiteral("win98.img.lck"));
    EXPECT_EQ(
        checkImageNotInUse(image.path).reason(),
        QStringLiteral("win98.img is in use by VMware (the folder win98.img.lck is beside it): shut that "
                       "down before changing the disk"));
}

// While held, QEMU's writers refuse the image (its readers may still look: QEMU shares reads of a
// raw image); the hold's own locks do not refuse it to us.
TEST(ImageUse, AHeldImageIsRefusedByQemuWriters)
{
    if (QStandardPaths::findExecutable(QStringLiteral("qemu-nbd")).isEmpty())
        GTEST_SKIP() << "qemu-utils is needed";
    Image image;
    const QStringList writers[] = {
        {QStringLiteral("qemu-io"), QStringLiteral("-f"), QStringLiteral("raw"), QStringLiteral("-c"),
         QStringLiteral("write 0 512")},
        {QStringLiteral("qemu-nbd"), QStringLiteral("-f"), QStringLiteral("raw"),
         QStringLiteral("--socket=") + image.dir.filePath(QStringLiteral("nbd.socket"))},
    };
    Result<ImageHold> hold = ImageHold::take(image.path);
    ASSERT_TRUE(hold) << hold.reason().toStdString();
    EXPECT_TRUE(hold->checkNotInUse());
    EXPECT_FALSE(ImageHold::take(image.path)) << "a second hold is a second user";
    for (const QStringList& writer : writers) {
        Program qemu;
        qemu.process.setProcessChannelMode(QProcess::MergedChannels);
        qemu.process.start(writer.first(), writer.mid(1) + QStringList{image.path});
        ASSERT_TRUE(qemu.process.waitForFinished(10000)) << writer.first().toStdString() << " started";
        EXPECT_NE(qemu.process.exitCode(), 0);
        const QString says = QString::fromUtf8(qemu.process.readAll());
        EXPECT_TRUE(says.contains(u"Failed to get \"write\" lock")) << says.toStdString();
    }
    *hold = ImageHold();
    EXPECT_TRUE(checkImageNotInUse(image.path)) << "released";
}

} // namespace
} // namespace velmora
