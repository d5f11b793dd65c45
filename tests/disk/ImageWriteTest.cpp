#include "disk/DiskImage.h"

#include "DiskTools.h"

namespace velmora::testing {
namespace {

// A write that straddles a cluster boundary of every format, so two clusters change.
constexpr qint64 writeOffset = (1 << 20) - 512;
constexpr qint64 writeLength = 8192;

QByteArray vdiUuids(const QString& image)
{
    // Creation, modification, parent and parent-modification UUIDs of the VDI header.
    return fileBytes(image).mid(0x188, 64);
}

QByteArray snapshotList(const QString& image)
{
    return runTool(QStringLiteral("qemu-img"), {QStringLiteral("snapshot"), QStringLiteral("-l"), image});
}

Result<void> writeAndFlush(const QString& image, const QByteArray& bytes)
{
    const Result<DiskImage> opened = openDiskImage(image, ImageAccess::ReadWrite);
    if (!opened)
        return failure(opened.reason());
    const qint64 size = opened->disk->size();
    // Past the end is refused and writes nothing.
    if (opened->disk->write(size - 512, QByteArray(1024, 'x')).ok())
        return failure(QStringLiteral("a write past the end was taken"));
    if (const Result<void> written = opened->disk->write(writeOffset, bytes); !written)
        return written;
    return opened->disk->flush();
}

struct WriteCase {
    const char* name;
    const char* format;
    QStringList options;
    bool checkable; // qemu-img check knows the format
};

// A write lands in the disk through every format, and nothing else about the image changes:
// its own structure stays sound, a qcow2's snapshots stay as they were, a VDI keeps its UUIDs
// (VirtualBox refuses a disk whose UUID changed) and a fixed VHD its footer.
TEST(ImageWrite, LandsThroughEveryFormatAndKeepsTheRest)
{
    const WriteCase rows[] = {
        {"raw", "raw", {}, false},
        {"fixed VHD", "vpc", {QStringLiteral("-o"), QStringLiteral("subformat=fixed,force_size=on")}, false},
        {"qcow2 with a snapshot", "qcow2", {}, true},
        {"VDI", "vdi", {}, true},
        {"VMDK monolithic sparse",
         "vmdk",
         {QStringLiteral("-o"), QStringLiteral("subformat=monolithicSparse")},
         true},
        {"dynamic VHD",
         "vpc",
         {QStringLiteral("-o"), QStringLiteral("subformat=dynamic,force_size=on")},
         false},
        {"VHDX", "vhdx", {}, true},
    };
    for (const WriteCase& row : rows) {
        SCOPED_TRACE(row.name);
        const Scratch scratch;
        const QString raw = scratch.rawDisk(QStringLiteral("disk.img"), 4, "2048,,c,*\n");
        const QString image = scratch.converted(raw, QStringLiteral("disk.") + QLatin1String(row.format),
                                                QLatin1String(row.format), row.options);
        const QString format = QLatin1String(row.format);
        if (format == QLatin1String("qcow2"))
            runTool(QStringLiteral("qemu-img"),
                    {QStringLiteral("snapshot"), QStringLiteral("-c"), QStringLiteral("before"), image});
        const QByteArray snapshots = format == QLatin1String("qcow2") ? snapshotList(image) : QByteArray();
        const QByteArray uuids = vdiUuids(image);
        const QByteArray footer = fileBytes(image).right(512);

        const QByteArray written = patterned(writeLength, 7);
        const Result<void> done = writeAndFlush(image, written);
        ASSERT_TRUE(done.ok()) << done.reason().toStdString();

        QByteArray expected = fileBytes(raw);
        expected.replace(writeOffset, writeLength, written);
        EXPECT_EQ(sha256(scratch.asRaw(image, format)), sha256(expected));
        if (row.checkable)
            runTool(QStringLiteral("qemu-img"),
                    {QStringLiteral("check"), QStringLiteral("-q"), QStringLiteral("-f"), format, image});
        if (format == QLatin1String("qcow2")) {
            EXPECT_EQ(snapshotList(image), snapshots);
            const QString before = scratch.path(QStringLiteral("before.img"));
            runTool(QStringLiteral("qemu-img"),
                    {QStringLiteral("convert"), QStringLiteral("-l"), QStringLiteral("snapshot.name=before"),
                     QStringLiteral("-O"), QStringLiteral("raw"), image, before});
            EXPECT_EQ(sha256(fileBytes(before)), sha256(fileBytes(raw)));
        }
        if (format == QLatin1String("vdi")) {
            EXPECT_EQ(vdiUuids(image).toHex(), uuids.toHex());
        }
        if (QLatin1String(row.name) == QLatin1String("fixed VHD")) {
            EXPECT_EQ(fileBytes(image).right(512), footer);
        }
    }
}

// A differencing image is changed as the virtual machine would change it: in the top image.
TEST(ImageWrite, LeavesTheBackingFileOfADifferencingImageAlone)
{
    const Scratch scratch;
    const QString raw = scratch.rawDisk(QStringLiteral("disk.img"), 4, "2048,,c,*\n");
    const QString base = scratch.converted(raw, QStringLiteral("base.qcow2"), QStringLiteral("qcow2"));
    const QString top = scratch.path(QStringLiteral("top.qcow2"));
    runTool(QStringLiteral("qemu-img"),
            {QStringLiteral("create"), QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("qcow2"),
             QStringLiteral("-b"), base, QStringLiteral("-F"), QStringLiteral("qcow2"), top});
    const QByteArray baseBefore = sha256(fileBytes(base));

    const QByteArray written = patterned(writeLength, 9);
    const Result<void> done = writeAndFlush(top, written);
    ASSERT_TRUE(done.ok()) << done.reason().toStdString();

    EXPECT_EQ(sha256(fileBytes(base)), baseBefore);
    QByteArray expected = fileBytes(raw);
    expected.replace(writeOffset, writeLength, written);
    EXPECT_EQ(sha256(scratch.asRaw(top, QStringLiteral("qcow2"))), sha256(expected));
    runTool(QStringLiteral("qemu-img"), {QStringLiteral("check"), QStringLiteral("-q"), top});
}

// An image QEMU holds (a running virtual machine, or us) is refused, naming the image.
TEST(ImageWrite, RefusesAnImageQemuHoldsLocked)
{
    const Scratch scratch;
    const QString raw = scratch.rawDisk(QStringLiteral("disk.img"), 4, "2048,,c,*\n");
    const QString image = scratch.converted(raw, QStringLiteral("win98.qcow2"), QStringLiteral("qcow2"));
    const Result<DiskImage> holder = openDiskImage(image, ImageAccess::ReadWrite);
    ASSERT_TRUE(holder.ok()) << holder.reason().toStdString();

    const Result<DiskImage> second = openDiskImage(image, ImageAccess::ReadWrite);
    ASSERT_FALSE(second.ok());
    EXPECT_TRUE(second.reason().startsWith(QLatin1String("win98.qcow2 is in use")))
        << second.reason().toStdString();
}

} // namespace
} // namespace velmora::testing
