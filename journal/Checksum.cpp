#include "journal/Checksum.h"

#include <array>

namespace velmora {
namespace {

constexpr quint32 kPolynomial = 0x82F63B78; // reflected Castagnoli

// Eight tables, so eight bytes are folded in per step.
using Tables = std::array<std::array<quint32, 256>, 8>;

constexpr Tables makeTables()
{
    Tables t{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][i] = c;
    }
    for (quint32 i = 0; i < 256; ++i) {
        for (size_t s = 1; s < 8; ++s)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
    return t;
}

constexpr Tables kTables = makeTables();

} // namespace

quint32 crc32c(QByteArrayView bytes, quint32 previous)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    qsizetype n = bytes.size();
    quint32 c = ~previous;
    while (n >= 8) {
        const quint32 lo =
            c ^ (quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24);
        c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
            kTables[4][lo >> 24] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n-- > 0)
        c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
    return ~c;
}

} // namespace velmora
