#include "disk/DiskImage.h"

#include "DiskTools.h"

namespace velmora::testing {
namespace {

// A write that straddles a cluster boundary of every format, so two clusters change.
constexpr qint64 writeOffset = (1 << 20) - 512;
const QByteArray written = patterned(8192, 7);

// Writes through Velmora, after checking a write past the end is refused; the disk expected.
QByteArray writeThrough(const QString& image, const QString& raw)
{
    const Result<DiskImage> opened = openDiskImage(image, ImageAccess::ReadWrite);
    EXPECT_TRUE(opened.ok()) << opened.reason().toStdString();
    if (opened) {
        EXPECT_FALSE(opened->disk->write(opened->disk->size() - 512, QByteArray(1024, 'x')).ok());
        EXPECT_TRUE(opened->disk->write(writeOffset, written).ok());
        EXPECT_TRUE(opened->disk->flush().ok());
    }
    return readBytes(raw).replace(writeOffset, written.size(), written);
}

// A write lands in the disk through every format, and nothing else about the image changes:
// its structure stays sound, a qcow2's snapshot keeps its list entry and its contents, a VDI
// keeps its UUIDs (VirtualBox refuses a disk whose UUID changed), a fixed VHD its footer.
TEST(ImageWrite, LandsThroughEveryFormatAndKeepsTheRest)
{
    const struct {
        const char* format;
        const char* options;
        bool checkable; // qemu-img check knows the format
    } rows[] = {
        {"raw", "", false},  {"vpc", "-o subformat=fixed,force_size=on", false},
        {"qcow2", "", true}, {"vdi", "", true},
        {"vmdk", "", true},  {"vpc", "-o subformat=dynamic,force_size=on", false},
        {"vhdx", "", true},
    };
    for (const auto& row : rows) {
        const QString format = QLatin1String(row.format);
        SCOPED_TRACE(row.format + std::string(" ") + row.options);
        const Scratch scratch;
        const QString raw = scratch.rawDisk(4, "2048,,c,*\n");
        const QString image =
            scratch.converted(raw, QStringLiteral("disk.image"), format + u' ' + QLatin1String(row.options));
        if (format == QLatin1String("qcow2"))
            run(QStringLiteral("qemu-img snapshot -c before ") + image);
        const QByteArray snapshots = run(QStringLiteral("qemu-img snapshot -l ") + image);
        const QByteArray before = readBytes(image);

        const QByteArray expected = writeThrough(image, raw);
        EXPECT_EQ(sha256(scratch.asRaw(image, format)), sha256(expected));
        if (row.checkable)
            run(QStringLiteral("qemu-img check -q -f %1 %2").arg(format, image));
        EXPECT_EQ(run(QStringLiteral("qemu-img snapshot -l ") + image), snapshots);
        if (format == QLatin1String("qcow2")) {
            run(QStringLiteral("qemu-img convert -l snapshot.name=before -O raw %1 %2")
                    .arg(image, scratch.path("s")));
            EXPECT_EQ(sha256(readBytes(scratch.path("s"))), sha256(readBytes(raw)));
        }
        // The VDI's creation, modification, parent and parent-modification UUIDs.
        if (format == QLatin1String("vdi")) {
            EXPECT_EQ(readBytes(image).mid(0x188, 64).toHex(), before.mid(0x188, 64).toHex());
        }
        if (QLatin1String(row.options).contains(QLatin1String("fixed"))) {
            EXPECT_EQ(readBytes(image).right(512), before.right(512));
        }
    }
}

// A differencing image is changed as the virtual machine would change it: in the top image.
TEST(ImageWrite, LeavesTheBackingFileOfADifferencingImageAlone)
{
    const Scratch scratch;
    const QString raw = scratch.rawDisk(4, "2048,,c,*\n");
    const QString base = scratch.converted(raw, QStringLiteral("base.qcow2"), QStringLiteral("qcow2"));
    const QString top = scratch.path(QStringLiteral("top.qcow2"));
    run(QStringLiteral("qemu-img create -q -f qcow2 -b %1 -F qcow2 %2").arg(base, top));
    const QByteArray baseBefore = sha256(readBytes(base));

    const QByteArray expected = writeThrough(top, raw);
    EXPECT_EQ(sha256(readBytes(base)), baseBefore);
    EXPECT_EQ(sha256(scratch.asRaw(top, QStringLiteral("qcow2"))), sha256(expected));
    run(QStringLiteral("qemu-img check -q ") + top);
}

// An image QEMU holds (a running virtual machine, or ourselves) is refused, naming the image.
TEST(ImageWrite, RefusesAnImageQemuHoldsLocked)
{
    const Scratch scratch;
    const QString image = scratch.converted(scratch.rawDisk(4, "2048,,c,*\n"), QStringLiteral("win98.qcow2"),
                                            QStringLiteral("qcow2"));
    const Result<DiskImage> holder = openDiskImage(image, ImageAccess::ReadWrite);
    ASSERT_TRUE(holder.ok()) << holder.reason().toStdString();
    const Result<DiskImage> second = openDiskImage(image, ImageAccess::ReadWrite);
    ASSERT_FALSE(second.ok());
    EXPECT_TRUE(second.reason().startsWith(QLatin1String("win98.qcow2 is in use")))
        << second.reason().toStdString();
}

} // namespace
} // namespace velmora::testing
