#include "disk/DiskImage.h"

#include "DiskTools.h"

#include <QFileInfo>

namespace velmora::testing {
namespace {

// A write that straddles a cluster boundary of every format, so two clusters change.
constexpr qint64 writeOffset = (1 << 20) - 512;
const QByteArray written = patterned(8192, 7);

// A write lands in the disk through every format, and nothing else about the image changes:
// its structure stays sound, a qcow2's snapshot keeps its list entry and its contents, a VDI
// keeps its UUIDs (VirtualBox refuses a disk whose UUID changed), a fixed VHD its footer, a
// differencing image its backing file. While Velmora has a container open, QEMU's lock refuses
// it to a second user (a running virtual machine, or ourselves); raw images are held otherwise.
TEST(ImageWrite, LandsThroughEveryFormatAndKeepsTheRest)
{
    const struct {
        const char* format;
        const char* options;
        bool backed; // the image written is a qcow2 over this one
    } rows[] = {
        {"raw", "", false},   {"vpc", "-o subformat=fixed,force_size=on", false},
        {"qcow2", "", false}, {"vdi", "", false},
        {"vmdk", "", false},  {"vpc", "-o subformat=dynamic,force_size=on", false},
        {"vhdx", "", false},  {"qcow2", "", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format + std::string(" ") + row.options + (row.backed ? " backing" : ""));
        const Scratch scratch;
        const QString raw = scratch.rawDisk(4, "2048,,c,*\n");
        QString format = QLatin1String(row.format),
                image = scratch.converted(raw, QStringLiteral("disk.image"),
                                          format + u' ' + QLatin1String(row.options));
        const QString base = image;
        if (row.backed) {
            image = scratch.path(QStringLiteral("top.qcow2"));
            run(QStringLiteral("qemu-img create -q -f qcow2 -b %1 -F %2 %3").arg(base, format, image));
            format = QStringLiteral("qcow2");
        }
        if (format == QLatin1String("qcow2"))
            run(QStringLiteral("qemu-img snapshot -c before ") + image);
        const QByteArray snapshots = run(QStringLiteral("qemu-img snapshot -l ") + image);
        const QByteArray before = readBytes(image), baseBefore = readBytes(base);

        {
            const Result<DiskImage> opened = openDiskImage(image, ImageAccess::ReadWrite);
            ASSERT_TRUE(opened.ok()) << opened.reason().toStdString();
            if (!isRawFormat(opened->layout.format)) {
                const Result<DiskImage> second = openDiskImage(image, ImageAccess::ReadWrite);
                EXPECT_TRUE(
                    second.reason().startsWith(QFileInfo(image).fileName() + QLatin1String(" is in use")))
                    << second.reason().toStdString();
            }
            EXPECT_FALSE(opened->disk->write(opened->disk->size() - 512, QByteArray(1024, 'x')).ok());
            EXPECT_TRUE(opened->disk->write(writeOffset, written).ok());
            EXPECT_TRUE(opened->disk->flush().ok());
        }
        const QByteArray expected = readBytes(raw).replace(writeOffset, written.size(), written);
        EXPECT_EQ(sha256(scratch.asRaw(image, format)), sha256(expected));
        const Ran check =
            run(QStringLiteral("qemu-img"), {QStringLiteral("check"), QStringLiteral("-f"), format, image});
        EXPECT_TRUE(check.code == 0 || check.code == 63) << "63: a format qemu-img cannot check";
        EXPECT_EQ(run(QStringLiteral("qemu-img snapshot -l ") + image), snapshots);
        if (format == QLatin1String("qcow2")) {
            run(QStringLiteral("qemu-img convert -l snapshot.name=before -O raw %1 %2")
                    .arg(image, scratch.path("s")));
            EXPECT_EQ(sha256(readBytes(scratch.path("s"))), sha256(readBytes(raw)));
        }
        if (row.backed) {
            EXPECT_EQ(sha256(readBytes(base)), sha256(baseBefore));
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

} // namespace
} // namespace velmora::testing
