#pragma once

#include <QByteArrayView>

namespace velmora {

// Whether a sector is a FAT boot sector: a jump, a sane BIOS parameter block and the boot
// signature. Tells a bare FAT volume (a disk with no partition table) from a master boot record;
// which FAT it is, and whether it is sound, is the file system's own check.
bool looksLikeFatBootSector(QByteArrayView sector);

} // namespace velmora
