#pragma once

namespace velmora {

// Registers the pictures compiled into the program (resources/velmora.qrc). They live in a
// static library, whose registration the linker would otherwise drop as unreferenced; call
// this before the first picture is needed. Calling it again does nothing.
void registerArtwork();

} // namespace velmora
