#include "disk/DiskImage.h"

#include "DiskTools.h"

#include <QFileInfo>
#include <QtEndian>

#include <functional>

namespace velmora::testing {
namespace {

// Little-endian 32-bit words, as the HDI and HDX headers hold their sizes and geometry.
QByteArray words(std::initializer_list<quint32> values)
{
    QByteArray bytes;
    for (const quint32 value : values)
        bytes += QByteArray(4, '\0'), qToLittleEndian(value, bytes.data() + bytes.size() - 4);
    return bytes;
}

// An HDX header: signature, the disk's size in bytes (64 bits), sector size and geometry.
QByteArray hdx(quint32 dataBytes)
{
    return "YTDD\x20\xA8\x78\xD7" + words({dataBytes, 0, 512, 63, 16, 8, 0, 0});
}

using Maker = std::function<QString(const Scratch&, const QString& raw)>;

// Runs qemu-img command lines ("|" between them; "@" is the scratch folder), then replaces
// `from` with `to` in the image they made.
Maker made(const QString& commands, const char* image, const char* from = "", const char* to = "")
{
    return [=](const Scratch& s, const QString&) {
        for (const QString& command : commands.split('|'))
            run("qemu-img " + QString(command).replace('@', s.path()));
        EXPECT_TRUE(writeBytes(s.filePath(image), readBytes(s.filePath(image)).replace(from, to)));
        return s.filePath(image);
    };
}

// The raw disk converted by qemu-img to `format` ("qcow2", or with options: "vpc -o subformat=fixed").
Maker qemu(const QString& format)
{
    return made("convert -f raw -O " + format + " @/disk.img @/disk.image", "disk.image");
}

// The image `make` made (a copy of the raw disk unless told), its bytes then changed.
Maker bytes(QByteArray (*change)(QByteArray), const Maker& make = qemu("raw"))
{
    return [=](const Scratch& s, const QString& raw) {
        const QString image = make(s, raw);
        EXPECT_TRUE(writeBytes(image, change(readBytes(image))));
        return image;
    };
}

// qemu-img's name for the disk written through Velmora and judged, and the bytes that must stay:
// of the image file itself, or of the file named (its whole, when `keptBytes` is -1).
struct Written {
    const char* format;
    qint64 keptAt = 0; // from the end when negative
    int keptBytes = 0;
    const char* keptFile = nullptr;
};

// A write that straddles a cluster boundary of every format, so two clusters change, lands in
// the disk, and nothing else about the image changes: its structure stays sound, a qcow2's
// snapshot keeps its list entry and contents, a VDI its UUIDs (VirtualBox refuses a disk whose
// UUID changed), a fixed VHD its footer, a differencing image its backing file. While Velmora
// has a container open, QEMU's lock refuses it to a second user (a virtual machine, or
// ourselves); raw images are held otherwise.
void expectWriteLandsAlone(const Scratch& scratch, const QString& raw, const QString& image,
                           const Written& how)
{
    const bool qcow2 = QByteArrayView(how.format) == "qcow2";
    if (qcow2)
        run("qemu-img snapshot -c before " + image);
    const QByteArray snapshots = run("qemu-img snapshot -l " + image);
    const auto kept = [&] {
        const QByteArray bytes = readBytes(how.keptFile ? scratch.filePath(how.keptFile) : image);
        return sha256(bytes.mid(how.keptAt < 0 ? bytes.size() + how.keptAt : how.keptAt, how.keptBytes));
    };
    const QByteArray keptBefore = kept(), written = patterned(8192, 7);
    {
        const Result<DiskImage> opened = openDiskImage(image, ImageAccess::ReadWrite);
        ASSERT_TRUE(opened.ok()) << opened.reason().toStdString();
        EXPECT_TRUE(isRawFormat(opened->layout.format) ||
                    openDiskImage(image, ImageAccess::ReadWrite).reason().contains(" is in use"));
        EXPECT_FALSE(opened->disk->write(opened->disk->size() - 512, QByteArray(1024, 'x')).ok());
        EXPECT_TRUE(opened->disk->write((1 << 20) - 512, written) && opened->disk->flush());
    }
    const QByteArray expected = readBytes(raw).replace((1 << 20) - 512, written.size(), written);
    EXPECT_EQ(sha256(scratch.asRaw(image, how.format)), sha256(expected));
    EXPECT_TRUE((QList{0, 63}).contains(run("qemu-img", {"check", "-f", how.format, image}).code))
        << "63: a format qemu-img cannot check";
    EXPECT_EQ(run("qemu-img snapshot -l " + image), snapshots);
    EXPECT_TRUE(!qcow2 || scratch.asRaw(image, "qcow2 -l snapshot.name=before") == readBytes(raw));
    EXPECT_EQ(kept(), keptBefore);
}

// Every format opens as the disk it holds, byte for byte, and is written as above; what is not
// a disk is named.
TEST(ImageFormat, RecognisesByContentReadsAndWritesTheDisk)
{
    const struct {
        const char* name;
        Maker make;
        const char* outcome; // the format as Velmora names it, or what the refusal says
        Written written{nullptr};
    } rows[] = {
        {"raw", bytes([](QByteArray r) { return r; }), "a raw disk image", {"raw"}},
        {"fixed VHD", qemu("vpc -o subformat=fixed,force_size=on"), "a fixed-size VHD", {"vpc", -512, 512}},
        // HDI: no magic; sizes, sector size and geometry, padded to the header's stated size.
        {"HDI", bytes([](QByteArray r) {
             return words({0, 0, 4096, quint32(r.size()), 512, 63, 16, 8}).leftJustified(4096, '\0') + r;
         }),
         "an HDI image"},
        {"HDX", bytes([](QByteArray r) { return hdx(r.size()) + r; }), "an HDX image"},
        {"qcow2", qemu("qcow2"), "a qcow2 image", {"qcow2"}},
        {"qcow2 version 2", qemu("qcow2 -o compat=0.10"), "a qcow2 image", {"qcow2"}},
        {"qcow2 over a backing file",
         made("convert -f raw -O qcow2 @/disk.img @/base.qcow2|create -q -f qcow2 -b @/base.qcow2 -F qcow2 "
              "@/top.qcow2",
              "top.qcow2"),
         "a qcow2 image",
         {"qcow2", 0, -1, "base.qcow2"}},
        {"VDI", qemu("vdi"), "a VDI image", {"vdi", 0x188, 64}}, // its four UUIDs
        {"sparse VMDK", qemu("vmdk -o subformat=monolithicSparse"), "a monolithic sparse VMDK", {"vmdk"}},
        {"VMDK descriptor", qemu("vmdk -o subformat=monolithicFlat"), "a VMDK descriptor", {"vmdk"}},
        {"dynamic VHD", qemu("vpc -o subformat=dynamic,force_size=on"), "a dynamic VHD", {"vpc"}},
        {"VHDX", qemu("vhdx"), "a VHDX image", {"vhdx"}},

        {"empty file", bytes([](QByteArray) { return QByteArray(); }),
         "not a hard disk image: an empty file"},
        {"blank disk", bytes([](QByteArray r) { return r.fill('\0'); }), "a blank disk"},
        {"text", bytes([](QByteArray) { return QByteArray("hello\n"); }),
         "unknown content (first bytes 68 65 6c 6c 6f 0a)"},
        {"ISO 9660", bytes([](QByteArray r) { return r.replace(0x8001, 5, "CD001"); }), "an ISO 9660 image"},
        {"qcow version 1", qemu("qcow"), "a qcow image of the first version"},
        {"stream-optimized VMDK", qemu("vmdk -o subformat=streamOptimized"), "cannot be changed in place"},
        {"differencing VHD", // qemu-img makes none: a dynamic one with the disk type of one
         bytes([](QByteArray b) { return b.replace(63, 1, "\4").replace(b.size() - 449, 1, "\4"); },
               qemu("vpc -o subformat=dynamic,force_size=on")),
         "a differencing VHD, which is not supported"},
        {"HDX longer than its file", bytes([](QByteArray r) { return hdx(r.size() + 512) + r; }),
         "does not fit"},
        {"HDX cut short in its header", bytes([](QByteArray) { return hdx(512).left(28); }), "does not fit"},
        {"qcow2 backed by a network disk",
         made("create -q -f qcow2 -u -b nbd://x.invalid/d -F raw @/t.qcow2 4M", "t.qcow2"),
         "backing file is not a plain file (nbd://x.invalid/d)"},
        {"qcow2 whose backing name passes QEMU's 1023 bytes",
         bytes([](QByteArray q) { return q.replace(8, 12, QByteArray::fromHex("000000000000020000000400")); },
               qemu("qcow2")), // the name at byte 0x200, 1024 bytes long
         "backing file name cannot be read"},
        {"qcow2 with an external data file",
         made("create -q -f qcow2 -o data_file=@/data.raw @/d.qcow2 4M", "d.qcow2"),
         "a qcow2 image whose data lie in another file"},
        {"sparse VMDK whose parent has a protocol prefix",
         made("create -q -f vmdk @/base.vmdk 4M|create -q -f vmdk -b @/base.vmdk -F vmdk @/t.vmdk", "t.vmdk",
              "Hint=\"/", "Hint=\":"),
         "a VMDK descriptor whose parent \":"},
        {"VMDK descriptor naming a device",
         made("create -q -f vmdk -o subformat=monolithicFlat @/d.vmdk 4M", "d.vmdk", "\"d-flat.vmdk\"",
              "\"/dev/sda\""),
         "extent \"/dev/sda\" is not a file beside it"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Scratch scratch;
        const QString raw = scratch.rawDisk(4, "2048,,c,*\n"), made = row.make(scratch, raw);
        {
            const Result<DiskImage> image = openDiskImage(made, ImageAccess::ReadOnly);
            if (!image) {
                EXPECT_TRUE(image.reason().startsWith(QFileInfo(made).fileName() + ": ") &&
                            image.reason().contains(row.outcome))
                    << image.reason().toStdString();
                continue;
            }
            EXPECT_EQ(describeFormat(image->layout.format) + ' ' +
                          sha256(image->disk->read(0, image->disk->size()).value()),
                      row.outcome + (' ' + sha256(readBytes(raw))));
        }
        if (row.written.format)
            expectWriteLandsAlone(scratch, raw, made, row.written);
    }
}

} // namespace
} // namespace velmora::testing
