#include "disk/DiskImage.h"

#include "DiskTools.h"

#include <QtEndian>

#include <functional>

namespace velmora::testing {
namespace {

constexpr int diskMegabytes = 4;

QByteArray littleEndian32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

// An HDI header (no magic; sizes and geometry) of `headerBytes` before the disk.
QByteArray hdiHeader(quint32 headerBytes, quint32 dataBytes)
{
    QByteArray header = littleEndian32(0) + littleEndian32(0) + littleEndian32(headerBytes) +
                        littleEndian32(dataBytes) + littleEndian32(512) + littleEndian32(63) +
                        littleEndian32(16) + littleEndian32(dataBytes / (512 * 63 * 16));
    header.resize(headerBytes, '\0');
    return header;
}

// An HDX header: signature, the disk's size in bytes, sector size and geometry.
QByteArray hdxHeader(quint64 dataBytes)
{
    QByteArray size(8, '\0');
    qToLittleEndian(dataBytes, size.data());
    return QByteArray("YTDD\x20\xA8\x78\xD7", 8) + size + littleEndian32(512) + littleEndian32(63) +
           littleEndian32(16) + littleEndian32(quint32(dataBytes / (512 * 63 * 16))) + littleEndian32(0) +
           littleEndian32(0);
}

struct Made {
    QString image;
    QByteArray disk; // what the image must read as; empty for a refusal
};

using Maker = std::function<Made(const Scratch&, const QString& raw)>;

Maker viaQemu(const char* format, QStringList options = {}, const char* extension = "image")
{
    return [=](const Scratch& scratch, const QString& raw) {
        return Made{scratch.converted(raw, QStringLiteral("disk.") + QLatin1String(extension),
                                      QLatin1String(format), options),
                    fileBytes(raw)};
    };
}

Maker withBytes(std::function<QByteArray(const QByteArray& raw)> content, bool readable)
{
    return [=](const Scratch& scratch, const QString& raw) {
        const QString image = scratch.path(QStringLiteral("made.img"));
        writeFileBytes(image, content(fileBytes(raw)));
        return Made{image, readable ? fileBytes(raw) : QByteArray()};
    };
}

struct Recognition {
    const char* name;
    Maker make;
    ImageFormat format;
    const char* refusal; // nullptr when the image is to be opened
};

// Every format opens as the disk it holds, byte for byte; what is not a disk is named.
TEST(ImageFormat, RecognisesByContentAndReadsTheDisk)
{
    const QStringList fixedSize{QStringLiteral("-o"), QStringLiteral("force_size=on")};
    const Recognition rows[] = {
        {"raw with a partition table", withBytes([](const QByteArray& raw) { return raw; }, true),
         ImageFormat::Raw, nullptr},
        {"raw bare FAT volume",
         [](const Scratch& scratch, const QString&) {
             const QString image = scratch.path(QStringLiteral("floppy.img"));
             runTool(QStringLiteral("mkfs.fat"), {QStringLiteral("-C"), image, QStringLiteral("1440")});
             return Made{image, fileBytes(image)};
         },
         ImageFormat::Raw, nullptr},
        {"fixed VHD", viaQemu("vpc", {QStringLiteral("-o"), QStringLiteral("subformat=fixed,force_size=on")}),
         ImageFormat::FixedVhd, nullptr},
        {"HDI", withBytes([](const QByteArray& raw) { return hdiHeader(4096, raw.size()) + raw; }, true),
         ImageFormat::Hdi, nullptr},
        {"HDX", withBytes([](const QByteArray& raw) { return hdxHeader(raw.size()) + raw; }, true),
         ImageFormat::Hdx, nullptr},
        {"qcow2", viaQemu("qcow2"), ImageFormat::Qcow2, nullptr},
        {"qcow2 version 2", viaQemu("qcow2", {QStringLiteral("-o"), QStringLiteral("compat=0.10")}),
         ImageFormat::Qcow2, nullptr},
        {"VDI", viaQemu("vdi"), ImageFormat::Vdi, nullptr},
        {"VMDK monolithic sparse",
         viaQemu("vmdk", {QStringLiteral("-o"), QStringLiteral("subformat=monolithicSparse")}),
         ImageFormat::VmdkSparse, nullptr},
        {"VMDK descriptor with a flat extent",
         viaQemu("vmdk", {QStringLiteral("-o"), QStringLiteral("subformat=monolithicFlat")}, "vmdk"),
         ImageFormat::VmdkDescriptor, nullptr},
        {"dynamic VHD",
         viaQemu("vpc", {QStringLiteral("-o"), QStringLiteral("subformat=dynamic,force_size=on")}),
         ImageFormat::DynamicVhd, nullptr},
        {"VHDX", viaQemu("vhdx"), ImageFormat::Vhdx, nullptr},

        {"empty file", withBytes([](const QByteArray&) { return QByteArray(); }, false), {}, "an empty file"},
        {"blank disk",
         withBytes([](const QByteArray& raw) { return QByteArray(raw.size(), '\0'); }, false),
         {},
         "a blank disk"},
        {"text",
         withBytes([](const QByteArray&) { return QByteArray("hello, world\n"); }, false),
         {},
         "unknown content (first bytes 68 65 6c 6c 6f 2c"},
        {"ISO 9660",
         withBytes([](const QByteArray& raw) { return QByteArray(raw).replace(0x8001, 5, "CD001"); }, false),
         {},
         "an ISO 9660 image"},
        {"gzip-compressed raw",
         [](const Scratch& scratch, const QString& raw) {
             return Made{scratch.path(QStringLiteral("disk.img.gz")),
                         (runTool(QStringLiteral("gzip"), {QStringLiteral("-k"), raw}), QByteArray())};
         },
         {},
         "a gzip-compressed file"},
        {"qcow version 1",
         [](const Scratch& scratch, const QString& raw) {
             return Made{scratch.converted(raw, QStringLiteral("old.qcow"), QStringLiteral("qcow")), {}};
         },
         {},
         "first version"},
        {"QED",
         [](const Scratch& scratch, const QString& raw) {
             return Made{scratch.converted(raw, QStringLiteral("disk.qed"), QStringLiteral("qed")), {}};
         },
         {},
         "a QED image"},
        {"qcow2 backed by a network disk",
         [](const Scratch& scratch, const QString&) {
             const QString image = scratch.path(QStringLiteral("top.qcow2"));
             runTool(QStringLiteral("qemu-img"),
                     {QStringLiteral("create"), QStringLiteral("-q"), QStringLiteral("-f"),
                      QStringLiteral("qcow2"), QStringLiteral("-u"), QStringLiteral("-b"),
                      QStringLiteral("nbd://example.invalid/disk"), QStringLiteral("-F"),
                      QStringLiteral("raw"), image, QStringLiteral("4M")});
             return Made{image, {}};
         },
         {},
         "backing file is not a plain file (nbd://example.invalid/disk)"},
        {"VMDK descriptor naming a device",
         [](const Scratch& scratch, const QString& raw) {
             const QString image =
                 scratch.converted(raw, QStringLiteral("disk.vmdk"), QStringLiteral("vmdk"),
                                   {QStringLiteral("-o"), QStringLiteral("subformat=monolithicFlat")});
             writeFileBytes(image, fileBytes(image).replace("\"disk-flat.vmdk\"", "\"/dev/sda\""));
             return Made{image, {}};
         },
         {},
         "extent \"/dev/sda\" is not a file beside it"},
        {"HDX longer than its file",
         withBytes([](const QByteArray& raw) { return hdxHeader(raw.size() + 512) + raw; }, false),
         {},
         "an HDX image whose header does not fit the file"},
    };
    for (const Recognition& row : rows) {
        SCOPED_TRACE(row.name);
        const Scratch scratch;
        const QString raw = scratch.rawDisk(QStringLiteral("disk.img"), diskMegabytes, "2048,,c,*\n");
        const Made made = row.make(scratch, raw);
        const Result<DiskImage> image = openDiskImage(made.image, ImageAccess::ReadOnly);
        if (row.refusal != nullptr) {
            ASSERT_FALSE(image.ok());
            EXPECT_TRUE(image.reason().contains(QLatin1String(row.refusal))) << image.reason().toStdString();
            EXPECT_TRUE(image.reason().startsWith(QFileInfo(made.image).fileName() + QLatin1String(": ")));
            continue;
        }
        ASSERT_TRUE(image.ok()) << image.reason().toStdString();
        EXPECT_EQ(image->layout.format, row.format);
        ASSERT_EQ(image->disk->size(), made.disk.size());
        const Result<QByteArray> bytes = image->disk->read(0, made.disk.size());
        ASSERT_TRUE(bytes.ok()) << bytes.reason().toStdString();
        EXPECT_EQ(sha256(*bytes), sha256(made.disk));
    }
}

} // namespace
} // namespace velmora::testing
