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
// the real SYSTEM.DAT (attributes as given to mattrib) and the drive's INI files.
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

enum class Format { Raw, Qcow2 };

// The image as the test gives it to Velmora: the raw disk itself, or a qcow2 copy of it.
inline QString buildImage(const QString& dir, Format format, const QString& systemDatAttributes = "+h +s")
{
    const QString raw = dir + "/disk.img";
    buildRawDisk(raw, systemDatAttributes);
    if (format == Format::Raw)
        return raw;
    const QString qcow2 = dir + "/disk.qcow2";
    expectRan(run("qemu-img", {"convert", "-f", "raw", "-O", "qcow2", raw, qcow2}), "qemu-img convert");
    QFile::remove(raw);
    return qcow2;
}

// The disk as a raw file outside tools can open: a qcow2 is checked by QEMU and converted. The
// image may still be open in Velmora, so QEMU is told to share it.
inline QString judgedDisk(const QString& image, const QString& dir)
{
    if (!image.endsWith(".qcow2"))
        return image;
    expectRan(run("qemu-img", {"check", "-U", image}), "qemu-img check");
    const QString raw = dir + "/judged.img";
    expectRan(run("qemu-img", {"convert", "-U", "-O", "raw", image, raw}), "qemu-img convert");
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
