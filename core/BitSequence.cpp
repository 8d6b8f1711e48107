#include "core/BitSequence.h"

#include <array>
#include <cstring>
#include <new>

namespace eks {

namespace {

// For every byte value, its eight bits as eight 0/1 bytes, bit 7 first, laid
// out in memory in that order so that one 8-byte copy writes a whole pixel.
const std::array<std::uint64_t, 256>& PixelTable() {
    static const std::array<std::uint64_t, 256> table = [] {
        std::array<std::uint64_t, 256> t{};
        for (int v = 0; v < 256; ++v) {
            std::uint8_t bytes[8];
            for (int k = 0; k < 8; ++k)
                bytes[k] = BitIsSet(v, static_cast<std::uint8_t>(7 - k)) ? 1 : 0;
            std::memcpy(&t[v], bytes, 8);
        }
        return t;
    }();
    return table;
}

void ExpandPixelMajor(const std::uint8_t* pixels, std::size_t n, std::uint8_t* out) {
    const auto& table = PixelTable();
    for (std::size_t j = 0; j < n; ++j)
        std::memcpy(out + 8 * j, &table[pixels[j]], 8);
}

// Eight pixels at a time: shifting the 8-byte word right by p brings bit p of
// every byte lane down to that lane's bit 0, and the mask keeps just that bit.
// The lanes stay in memory order whatever the machine's byte order.
void ExpandPlaneMajor(const std::uint8_t* pixels, std::size_t n, std::uint8_t* out) {
    constexpr std::uint64_t kLaneBit0 = 0x0101010101010101ull;
    std::uint8_t* plane[8];
    for (int p = 0; p < 8; ++p)
        plane[p] = out + static_cast<std::size_t>(7 - p) * n;
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8) {
        std::uint64_t word;
        std::memcpy(&word, pixels + j, 8);
        for (int p = 0; p < 8; ++p) {
            const std::uint64_t bits = (word >> p) & kLaneBit0;
            std::memcpy(plane[p] + j, &bits, 8);
        }
    }
    for (; j < n; ++j)
        for (int p = 0; p < 8; ++p)
            plane[p][j] = (pixels[j] >> p) & 1;
}

}  // namespace

void ExpandBits(const std::uint8_t* pixels, std::size_t n, BitOrder order, std::uint8_t* out) {
    if (order == BitOrder::PixelMajor)
        ExpandPixelMajor(pixels, n, out);
    else
        ExpandPlaneMajor(pixels, n, out);
}

std::optional<ByteStream> ExpandBitSequence(const ByteStream& file, std::size_t pixelDataOffset,
                                            BitOrder order, std::size_t memoryLimit) {
    const std::size_t n = file.Size() > pixelDataOffset ? file.Size() - pixelDataOffset : 0;
    ByteStream out;
    try {
        if (n > memoryLimit / 8) throw std::bad_alloc();
        out.SetSizeForOverwrite(8 * n);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (n > 0) ExpandBits(file.Data() + pixelDataOffset, n, order, out.Data());
    out.Seek(out.Size());
    return out;
}

void ForgetImageForWantOfMemory(ExperimentState& state) {
    state.SourceStream.reset();
    state.ImageWidth = 1;
    state.ImageHeight = 1;
}

}  // namespace eks
