#pragma once

#include <QByteArrayView>

#include <cstdio>

namespace velmora {

// Writes the bytes whole (a NUL among them included) and flushes them; false when the stream
// did not take them all (a full disk, a closed pipe), which a command reports as a failure.
bool writeOut(std::FILE* stream, QByteArrayView bytes);

} // namespace velmora
