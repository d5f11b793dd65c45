#include "cli/Output.h"

namespace velmora {

bool writeOut(std::FILE* stream, QByteArrayView bytes)
{
    const bool whole = std::fwrite(bytes.data(), 1, size_t(bytes.size()), stream) == size_t(bytes.size());
    return std::fflush(stream) == 0 && whole && !std::ferror(stream);
}

} // namespace velmora
