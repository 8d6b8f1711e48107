// The simplest honest order-9 coder of a bit sequence, as a yardstick for the engine: one
// 12-bit probability per context of the previous nine bits, moved by 1/16 of its error after
// each bit, and a carry-less 32-bit binary range coder. It shows how fast a coder of bit
// bytes can be and how many bytes the engine's model saves over the plainest model of the
// same order. The stream is bare (no header, no check): only bench_arith reads it back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace eks::bench {

class Order9Probe {
  public:
    static std::vector<uint8_t> Encode(const uint8_t* bits, size_t n) {
        std::vector<uint8_t> out;
        out.reserve(n / 8 + 64);
        std::vector<uint16_t> p(kContexts, 2048);  // P(bit == 1) * 4096, within [15, 4081]
        uint32_t low = 0, high = 0xFFFFFFFFu, ctx = 0;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t bit = bits[i] & 1u;
            const uint32_t mid = low + static_cast<uint32_t>((uint64_t{high - low} * p[ctx]) >> 12);
            if (bit) {
                high = mid;
            } else {
                low = mid + 1;
            }
            Learn(p[ctx], bit);
            ctx = ((ctx << 1) | bit) & (kContexts - 1);
            while (((low ^ high) & 0xFF000000u) == 0) {
                out.push_back(static_cast<uint8_t>(high >> 24));
                low <<= 8;
                high = (high << 8) | 0xFFu;
            }
        }
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(low >> shift));
        return out;
    }

    // Decodes `n` bits (bytes 0 and 1) into `out`.
    static void Decode(const std::vector<uint8_t>& stream, size_t n, uint8_t* out) {
        std::vector<uint16_t> p(kContexts, 2048);
        size_t pos = 0;
        const auto next_byte = [&]() -> uint32_t {
            return pos < stream.size() ? stream[pos++] : 0u;
        };
        uint32_t low = 0, high = 0xFFFFFFFFu, x = 0, ctx = 0;
        for (int i = 0; i < 4; ++i)
            x = (x << 8) | next_byte();
        for (size_t i = 0; i < n; ++i) {
            const uint32_t mid = low + static_cast<uint32_t>((uint64_t{high - low} * p[ctx]) >> 12);
            const uint32_t bit = x <= mid ? 1u : 0u;
            if (bit) {
                high = mid;
            } else {
                low = mid + 1;
            }
            Learn(p[ctx], bit);
            ctx = ((ctx << 1) | bit) & (kContexts - 1);
            out[i] = static_cast<uint8_t>(bit);
            while (((low ^ high) & 0xFF000000u) == 0) {
                x = (x << 8) | next_byte();
                low <<= 8;
                high = (high << 8) | 0xFFu;
            }
        }
    }

  private:
    static constexpr uint32_t kContexts = 1u << 9;

    static void Learn(uint16_t& p, uint32_t bit) {
        if (bit) {
            p = static_cast<uint16_t>(p + ((4096u - p) >> 4));
        } else {
            p = static_cast<uint16_t>(p - (p >> 4));
        }
    }
};

}  // namespace eks::bench
