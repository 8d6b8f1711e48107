#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/ByteStream.h"
#include "core/ExperimentState.h"

namespace eks {

// PixelMajor: each pixel's eight bits together, most significant first.
// PlaneMajor: bit 7 of every pixel, then bit 6 of every pixel, ... bit 0.
enum class BitOrder { PixelMajor, PlaneMajor };

// True when bit n (0 = least significant) of value is 1.
constexpr bool BitIsSet(std::int32_t value, std::uint8_t n) {
    return (value & (std::int32_t{1} << n)) != 0;
}

// Expands n pixel bytes into 8·n bytes of 0x00/0x01 in the given order.
// For PlaneMajor, bit p of pixel j lands at (7 − p)·n + j.
void ExpandBits(const std::uint8_t* pixels, std::size_t n, BitOrder order, std::uint8_t* out);

// The text shown when memory for the bit sequence cannot be had.
inline constexpr const char* kOutOfMemoryMessage =
    "Zbyt mała ilość dopuszczalnej\r\npamięci RAM - ERROR :(";

// The coder's input for the pixel bytes of a PGM file: every byte of `file`
// from `pixelDataOffset` to its end, 8·N bytes with the position at the
// end. Nothing when memory for it cannot be had or it would exceed
// memoryLimit bytes.
std::optional<ByteStream> ExpandBitSequence(
    const ByteStream& file, std::size_t pixelDataOffset, BitOrder order,
    std::size_t memoryLimit = std::numeric_limits<std::size_t>::max());

// What a failed build of the bit sequence leaves: the window's share of
// SourceStream let go, to give its memory back once no one else holds it, and
// an image of 1 × 1; the image must be chosen again before it can be coded.
void ForgetImageForWantOfMemory(ExperimentState& state);

}  // namespace eks
