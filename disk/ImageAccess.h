#pragma once

namespace velmora {

// Whether an image is opened only to be read, or to be changed too.
enum class ImageAccess { ReadOnly, ReadWrite };

} // namespace velmora
