#include "disk/ImageUse.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct Image {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("win98.img"));
    Image() { EXPECT_TRUE(QFile(path).open(QIODevice::WriteOnly)); }
};

struct Program {
    QProcess process;
    Program(const QString& program, const QStringList& arguments, const QString& input = {})
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardInputFile(input.isEmpty() ? QProcess::nullDevice() : input);
        process.start(program, arguments);
    }
    ~Program()
    {
        process.kill();
        process.waitForFinished();
    }
};

// Programs that have the image open, with QEMU's lock or without, are named with their process
// id, once they have opened it; Velmora's own helper (by its process id) does not count.
TEST(ImageUse, AProgramUsingTheImageIsNamed)
{
    for (const bool qemu : {false, true}) {
        Image image;
        ASSERT_TRUE(checkImageNotInUse(image.path));
        Program holder = qemu ? Program(QStringLiteral("qemu-io"),
                                        {QStringLiteral("-f"), QStringLiteral("raw"), QStringLiteral("-c"),
                                         QStringLiteral("sleep 30000"), image.path})
                              : Program(QStringLiteral("sleep"), {QStringLiteral("30")}, image.path);
        ASSERT_TRUE(holder.process.waitForStarted()) << "tools/install-deps.sh installs qemu-utils";
        const qint64 pid = holder.process.processId();
        QElapsedTimer timer;
        timer.start();
        while (checkImageNotInUse(image.path) && timer.elapsed() < 10000)
            QThread::msleep(20);
        const QString name = qemu ? QStringLiteral("qemu-io") : QStringLiteral("sleep");
        EXPECT_EQ(
            checkImageNotInUse(image.path).reason(),
            QStringLiteral("win98.img is in use by %1 (process %2): shut that down before changing the disk")
                .arg(name)
                .arg(pid));
        EXPECT_EQ(processesHoldingFile(image.path), (QList<ImageHolder>{{pid, name}}));
        EXPECT_TRUE(checkImageNotInUse(image.path, {pid})) << "our own helper";
    }
}

// A lock outlives the holder's open file while the file stays mapped: no /proc/PID/fd link then
// leads to the image, as for another user's QEMU.
TEST(ImageUse, ALockWhoseHolderCannotBeSeenRefusesTheImage)
{
    Image image;
    ASSERT_TRUE(QFile(image.path).resize(4096));
    Program holder(QStringLiteral("python3"),
                   {QStringLiteral("-c"),
                    QStringLiteral("import ctypes, fcntl, os, struct, sys, time\n"
                                   "fd = os.open(sys.argv[1], os.O_RDONLY)\n"
                                   "fcntl.fcntl(fd, 37, struct.pack('hhqqi4x', 0, 0, 100, 2, 0))\n"
                                   "libc = ctypes.CDLL(None)\n"
                                   "libc.mmap.restype = ctypes.c_void_p\n"
                                   "libc.mmap(None, 4096, 1, 1, fd, ctypes.c_long(0))\n"
                                   "os.close(fd)\n"
                                   "print('held', flush=True)\n"
                                   "time.sleep(30)"),
                    image.path});
    ASSERT_TRUE(holder.process.waitForReadyRead(10000));
    EXPECT_TRUE(processesHoldingFile(image.path).isEmpty());
    EXPECT_EQ(
        checkImageNotInUse(image.path).reason(),
        QStringLiteral("win98.img is in use by a program Velmora cannot see, which holds QEMU's lock on it: "
                       "shut that down before changing the disk"));
}

TEST(ImageUse, AVmwareLockFolderBesideTheImageRefusesIt)
{
    Image image;
    QDir(image.dir.path()).mkdir(QStringLiteral("win98.img.lck"));
    EXPECT_EQ(
        checkImageNotInUse(image.path).reason(),
        QStringLiteral("win98.img is in use by VMware (the folder win98.img.lck is beside it): shut that "
                       "down before changing the disk"));
    const QString link = image.dir.filePath(QStringLiteral("c.img"));
    ASSERT_TRUE(QFile::link(image.path, link));
    EXPECT_TRUE(checkImageNotInUse(link).reason().contains(u"win98.img.lck")) << "seen through a link";
}

// While held, QEMU's writers (here qemu-io) refuse the image (QEMU lets readers of a raw image look); the
// hold's own locks do not refuse it to us.
TEST(ImageUse, AHeldImageIsRefusedByQemuWriters)
{
    Image image;
    Result<ImageHold> hold = ImageHold::take(image.path);
    ASSERT_TRUE(hold) << hold.reason().toStdString();
    EXPECT_TRUE(hold->checkNotInUse());
    EXPECT_FALSE(ImageHold::take(image.path)) << "a second hold is a second user";
    Program qemu(QStringLiteral("qemu-io"), {QStringLiteral("-c"), QStringLiteral("write 0 512"),
                                             QStringLiteral("-f"), QStringLiteral("raw"), image.path});
    ASSERT_TRUE(qemu.process.waitForFinished(10000)) << "qemu-io kept running";
    EXPECT_NE(qemu.process.exitCode(), 0);
    EXPECT_TRUE(qemu.process.readAll().contains("Failed to get \"write\" lock"));
    *hold = ImageHold();
    EXPECT_TRUE(checkImageNotInUse(image.path)) << "released";
}

} // namespace
} // namespace velmora
