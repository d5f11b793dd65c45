#pragma once

#include "core/Result.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace velmora {

// The container formats a Windows 9x virtual disk comes in, told apart by their bytes alone.
enum class ImageFormat {
    Raw,      // the disk's sectors and nothing else
    FixedVhd, // raw, then a 512-byte footer
    Hdi,      // raw after a header of the size it states
    Hdx,      // raw after a 40-byte header
    Qcow2,
    Vdi,
    VmdkSparse,     // one file: a header, grain tables and grains
    VmdkDescriptor, // a text file naming flat or sparse extents beside it
    DynamicVhd,
    Vhdx,
};

struct ImageLayout {
    ImageFormat format = ImageFormat::Raw;
    // For the formats whose sectors lie in the file as they are: where they start and how many
    // bytes they take. Unused for the others, which are reached through their own engine.
    qint64 dataOffset = 0;
    qint64 dataLength = 0;
    // A VMDK descriptor's extents: the names of the files beside it that hold its sectors.
    QStringList extentFiles = {};
};

// How much of the file's start and end recognition looks at.
inline constexpr qint64 imageHeadBytes = 64 * 1024;
inline constexpr qint64 imageTailBytes = 512;

// Tells the format from the file's first bytes (up to imageHeadBytes), its last imageTailBytes
// and its size; anything that is not a disk this program can work on is refused, naming what
// was found ("an ISO 9660 image", "unknown content (first bytes 4d 5a ...)").
Result<ImageLayout> recogniseImage(QByteArrayView head, QByteArrayView tail, qint64 fileSize);

// "a qcow2 image", for messages.
QString describeFormat(ImageFormat format);
// Whether the sectors lie in the file as they are (read and written with plain file access).
bool isRawFormat(ImageFormat format);
// The name QEMU's block layer knows the format by; empty for the raw kinds.
QString qemuDriver(ImageFormat format);

} // namespace velmora
