#pragma once

// Disk images made and judged by outside tools (sfdisk, mkfs.fat, mtools, fsck.fat, qemu-img),
// which share no code with Velmora.

#include "support/FileDevice.h"
#include "support/FileFixtures.h"
#include "support/HiveFixtures.h"

#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace velmora::testing {

// The partition starts at sector 63, where DOS put the first one.
constexpr qint64 kPartitionOffset = 63 * 512;

inline void expectRan(const Ran& ran, const char* what)
{
    EXPECT_EQ(ran.code, 0) << what << ": " << ran.err.constData();
}

// mtools' name for the partition of a raw disk.
inline QString partitionOf(const QString& raw)
{
    return raw + QStringLiteral("@@%1").arg(kPartitionOffset);
}

// A 40 MB disk whose one FAT16 partition is drive C of Windows 98, its Windows folder WIN98, with
// the real SYSTEM.DAT (attributes as given to mattrib; Windows keeps it hidden, system and
// read-only) and the drive's INI files.
inline void buildRawDisk(const QString& raw, const QString& systemDatAttributes, bool withWindows = true)
{
    ASSERT_TRUE(writeBytes(raw, {}) && QFile::resize(raw, 40 << 20)); // sparse
    expectRan(run("sfdisk", {"-q", raw}, "start=63, type=6, bootable\n"), "sfdisk");
    expectRan(run("mkfs.fat", {"-F", "16", "--offset", "63", raw}), "mkfs.fat");
    if (!withWindows)
        return;
    const QString dir = QFileInfo(raw).path(), part = partitionOf(raw);
    ASSERT_TRUE(writeBytes(dir + "/MSDOS.SYS", "[Paths]\r\nWinDir=C:\\WIN98\r\n"));
    ASSERT_TRUE(writeBytes(dir + "/WIN.INI", "[Ports]\r\nCOM2:=9600,n,8,1,x\r\n"));
    ASSERT_TRUE(writeBytes(dir + "/SYSTEM.INI", "[boot]\r\nshell=Explorer.exe\r\n"));
    ASSERT_TRUE(writeBytes(dir + "/SYSTEM.DAT", hiveFile("SYSTEM.DAT")));
    expectRan(run("mmd", {"-i", part, "::WIN98"}), "mmd");
    expectRan(run("mcopy", {"-o", "-i", part, dir + "/MSDOS.SYS", "::MSDOS.SYS"}), "mcopy");
    expectRan(run("mcopy",
                  {"-o", "-i", part, dir + "/WIN.INI", dir + "/SYSTEM.INI", dir + "/SYSTEM.DAT", "::WIN98/"}),
              "mcopy");
    QStringList mattrib{"-i", part};
    mattrib += systemDatAttributes.split(' ', Qt::SkipEmptyParts);
    expectRan(run("mattrib", mattrib << "::WIN98/SYSTEM.DAT"), "mattrib");
}

// The container formats a user's disk may come in, each made by qemu-img from the raw disk.
enum class Format { Raw, Qcow2, Vdi, Vmdk, FixedVhd, DynamicVhd, Vhdx };

struct FormatInfo {
    const char* label;
    const char* fileName;
    const char* qemu; // the format as qemu-img names it, and its options; nullptr for the raw disk
};

inline FormatInfo infoOf(Format format)
{
    static const FormatInfo table[] = {
        {"Raw", "disk.img", nullptr},
        {"Qcow2", "disk.qcow2", "qcow2"},
        {"Vdi", "disk.vdi", "vdi"},
        {"Vmdk", "disk.vmdk", "vmdk"},
        {"FixedVhd", "fixed.vhd", "vpc -o subformat=fixed,force_size=on"},
        {"DynamicVhd", "disk.vhd", "vpc -o subformat=dynamic"},
        {"Vhdx", "disk.vhdx", "vhdx"},
    };
    return table[int(format)];
}

// The image as the test gives it to Velmora: the raw disk itself, or a copy of it in a container.
inline QString buildImage(const QString& dir, Format format, const QString& systemDatAttributes = "+h +s +r")
{
    const QString raw = dir + "/disk.img";
    buildRawDisk(raw, systemDatAttributes);
    const FormatInfo info = infoOf(format);
    if (!info.qemu)
        return raw;
    const QString image = dir + '/' + info.fileName;
    expectRan(run("qemu-img", QStringList{"convert", "-f", "raw", "-O"} + QString(info.qemu).split(' ')
                                  << raw << image),
              "qemu-img convert");
    QFile::remove(raw);
    return image;
}

// The disk as a raw file outside tools can open: a container (known by its file name) is checked
// by QEMU (which has no check for VHD) and converted. The image may still be open in Velmora, so
// QEMU is told to share it.
inline QString judgedDisk(const QString& image, const QString& dir)
{
    QString format;
    for (int f = 1; f <= int(Format::Vhdx); ++f)
        if (QFileInfo(infoOf(Format(f)).fileName).suffix() == QFileInfo(image).suffix())
            format = QString(infoOf(Format(f)).qemu).section(' ', 0, 0);
    if (format.isEmpty())
        return image;
    const Ran checked = run("qemu-img", {"check", "-U", "-f", format, image});
    EXPECT_TRUE(checked.code == 0 || (checked.code == 63 && format == "vpc"))
        << "qemu-img check: " << checked.err.constData();
    const QString raw = dir + "/judged.img";
    expectRan(run("qemu-img", {"convert", "-U", "-f", format, "-O", "raw", image, raw}), "qemu-img convert");
    return raw;
}

// fsck.fat reads a volume from its first byte: the partition is copied out for it.
inline void expectCleanFileSystem(const QString& raw, const QString& dir)
{
    QFile disk(raw);
    ASSERT_TRUE(disk.open(QIODevice::ReadOnly) && disk.seek(kPartitionOffset));
    ASSERT_TRUE(writeBytes(dir + "/partition.img", disk.readAll()));
    expectRan(run("fsck.fat", {"-n", dir + "/partition.img"}), "fsck.fat");
}

inline QByteArray fileInImage(const QString& raw, const QString& path)
{
    return run("mtype", {"-i", partitionOf(raw), "::" + path}).out;
}

} // namespace velmora::testing
