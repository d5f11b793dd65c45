#include "disk/ImageUse.h"

#include "DiskTools.h"

#include <QDir>
#include <QThread>

#include <optional>

namespace velmora::testing {
namespace {

struct Image {
    QTemporaryDir dir;
    QString path = dir.filePath("win98.img");
    Image() { EXPECT_TRUE(writeBytes(path, QByteArray(4096, '\0'))); }
};

// A program started on the image, killed when the test is done with it.
struct Program : QProcess {
    ~Program() override { kill(), waitForFinished(); }
};

// Whoever uses the image is named, once it has opened it: a program with the file open, with
// QEMU's lock, with a lock whose holder no /proc/PID/fd link shows (the file closed but still
// mapped, as for another user's QEMU), and VMware by its lock folder, seen through a link too.
// Velmora's own helper (by its process id) does not count.
TEST(ImageUse, WhoeverUsesTheImageIsNamed)
{
    const struct {
        const char* program;   // nullptr: VMware's lock folder
        QStringList arguments; // the image follows them
        const char* user;      // as the refusal names it, %1 its process id
    } rows[] = {
        {"tail", {"-f"}, "tail (process %1)"},
        {"qemu-io", {"-f", "raw", "-c", "sleep 30000"}, "qemu-io (process %1)"},
        {"python3",
         {"-c", "import ctypes, fcntl, os, struct, sys, time; fd = os.open(sys.argv[1], os.O_RDONLY)\n"
                "fcntl.fcntl(fd, 37, struct.pack('hhqqi4x', 0, 0, 100, 2, 0)) # F_OFD_SETLK, as QEMU locks\n"
                "libc = ctypes.CDLL(None); libc.mmap.restype = ctypes.c_void_p\n"
                "libc.mmap(None, 4096, 1, 1, fd, ctypes.c_long(0)); os.close(fd); time.sleep(30)"},
         "a program Velmora cannot see, which holds QEMU's lock on it"},
        {nullptr, {}, "VMware (the folder win98.img.lck is beside it)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.user);
        Image image;
        ASSERT_TRUE(checkImageNotInUse(image.path));
        std::optional<Program> user;
        if (row.program)
            user.emplace().start(row.program, QStringList(row.arguments) << image.path);
        else
            QDir(image.dir.path()).mkdir("win98.img.lck");
        ASSERT_TRUE(!user || user->waitForStarted()) << "tools/install-deps.sh installs qemu-utils";
        const qint64 pid = user ? user->processId() : 0;
        const QString named = QString(row.user).replace("%1", QString::number(pid)),
                      refusal =
                          "win98.img is in use by " + named + ": shut that down before changing the disk";
        for (int tries = 0; tries < 500 && checkImageNotInUse(image.path).reason() != refusal; ++tries)
            QThread::msleep(20);
        EXPECT_EQ(checkImageNotInUse(image.path).reason(), refusal);
        ASSERT_TRUE(QFile::link(image.path, image.dir.filePath("c.img")));
        EXPECT_TRUE(checkImageNotInUse(image.dir.filePath("c.img")).reason().contains(named))
            << "through a link";
        const bool seen = named.contains(u"process");
        EXPECT_EQ(processesHoldingFile(image.path),
                  (seen ? QList<ImageHolder>{{pid, row.program}} : QList<ImageHolder>{}));
        EXPECT_TRUE(!seen || checkImageNotInUse(image.path, {pid})) << "our own helper";
    }
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
    Program qemu;
    qemu.start("qemu-io", {"-c", "write 0 512", "-f", "raw", image.path});
    ASSERT_TRUE(qemu.waitForFinished(10000)) << "qemu-io kept running";
    EXPECT_TRUE(qemu.exitCode() != 0 && qemu.readAllStandardError().contains("Failed to get \"write\" lock"));
    *hold = ImageHold();
    EXPECT_TRUE(checkImageNotInUse(image.path)) << "released";
}

} // namespace
} // namespace velmora::testing
