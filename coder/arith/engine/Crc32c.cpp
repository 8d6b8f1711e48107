#include "coder/arith/engine/Crc32c.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <nmmintrin.h>
#define EKS_CRC32C_SSE42 1
#endif

namespace eks::arith {
namespace {

// Eight tables for slicing-by-8: table[k][b] is the CRC of byte b followed by k zero bytes.
using Tables = std::array<std::array<uint32_t, 256>, 8>;

Tables MakeTables() {
    Tables t{};
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int i = 0; i < 8; ++i)
            c = (c & 1u) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
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

#if EKS_CRC32C_SSE42
__attribute__((target("sse4.2"))) uint32_t UpdateBySse42(uint32_t state, const uint8_t* data,
                                                        size_t size) {
    uint64_t c = state;
    for (; size >= 8; data += 8, size -= 8) {
        uint64_t word;
        __builtin_memcpy(&word, data, 8);  // x86 is little-endian, as the CRC's bit order
        c = _mm_crc32_u64(c, word);
    }
    uint32_t c32 = static_cast<uint32_t>(c);
    for (; size > 0; ++data, --size)
        c32 = _mm_crc32_u8(c32, *data);
    return c32;
}

bool HasSse42() {
    static const bool has = __builtin_cpu_supports("sse4.2");
    return has;
}
#endif

}  // namespace

uint32_t Crc32c::UpdateByTable(uint32_t c, const uint8_t* data, size_t size) {
    const Tables& t = GetTables();
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
    return c;
}

void Crc32c::Update(const uint8_t* data, size_t size) {
#if EKS_CRC32C_SSE42
    if (HasSse42()) {
        state_ = UpdateBySse42(state_, data, size);
        return;
    }
#endif
    state_ = UpdateByTable(state_, data, size);
}

}  // namespace eks::arith
