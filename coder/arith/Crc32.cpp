#include "Crc32.h"

#include <array>
#include <cstring>

namespace eks::arith {
namespace {

// Eight tables for slicing-by-8: table[k][b] is the CRC of byte b followed by k zero bytes.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

Tables MakeTables() {
    Tables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int i = 0; i < 8; ++i)
            c = (c & 1u) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][b] = c;
    }
    for (size_t k = 1; k < 8; ++k) {
        for (uint32_t b = 0; b < 256; ++b)
            t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFFu];
    }
    return t;
}

const Tables& GetTables() {
    static const Tables tables = MakeTables();
    return tables;
}

}  // namespace

void Crc32::Update(const uint8_t* data, size_t size) {
    const Tables& t = GetTables();
    uint32_t c = state_;
    while (size >= 8) {
        // Assembled byte by byte, so the result does not depend on the host's byte order.
        const uint32_t lo = c ^ (uint32_t{data[0]} | uint32_t{data[1]} << 8 |
                                 uint32_t{data[2]} << 16 | uint32_t{data[3]} << 24);
        c = t[7][lo & 0xFFu] ^ t[6][(lo >> 8) & 0xFFu] ^ t[5][(lo >> 16) & 0xFFu] ^ t[4][lo >> 24] ^
            t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
        data += 8;
        size -= 8;
    }
    while (size-- > 0)
        c = (c >> 8) ^ t[0][(c ^ *data++) & 0xFFu];
    state_ = c;
}

}  // namespace eks::arith
