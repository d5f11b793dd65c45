#pragma once

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace velmora {

// The first byte in [p, end) that is one of Needles, or nullptr. The lines and items of the
// files read here are short, so the call into memchr costs more than the search: sixteen bytes at
// a time, inline, and several needles in the same pass.
template <char... Needles> inline const char* findAny(const char* p, const char* end)
{
#if defined(__SSE2__)
    if (end - p >= 16) {
        auto hitsAt = [](const char* at) {
            const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            return unsigned(_mm_movemask_epi8((_mm_cmpeq_epi8(chunk, _mm_set1_epi8(Needles)) | ...)));
        };
        for (; end - p > 16; p += 16)
            if (const unsigned hits = hitsAt(p))
                return p + __builtin_ctz(hits);
        // The last 1 to 16 bytes: one load that ends at end, its bytes before p already searched.
        const char* last = end - 16;
        const unsigned hits = hitsAt(last) >> (p - last);
        return hits ? p + __builtin_ctz(hits) : nullptr;
    }
#endif
    for (; p < end; ++p)
        if (((*p == Needles) || ...))
            return p;
    return nullptr;
}

} // namespace velmora
