#pragma once

#include "disk/BlockDevice.h"
#include "disk/ImageAccess.h"
#include "disk/ImageFormat.h"

#include <functional>
#include <memory>

namespace velmora {

struct DiskImage {
    ImageLayout layout;
    std::shared_ptr<BlockDevice> disk; // the whole virtual disk, addressed from its first sector
};

// Decides, once the format is known and before anything is served (for a container, before
// its qemu-nbd starts), whether the image may be used; its refusal is returned as it stands.
using ImageAdmission = std::function<Result<void>(const ImageLayout& layout)>;

// Opens a virtual disk image by its content: raw kinds with plain file access, the container
// formats through QEMU's block layer. Failures name the image ("win98.vdi: ...").
Result<DiskImage> openDiskImage(const QString& path, ImageAccess access, const ImageAdmission& admit = {});

} // namespace velmora
