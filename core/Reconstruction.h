#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/ByteStream.h"

namespace eks {

// Rows of an 8-bit image of the caller's (a display bitmap, or a plain buffer
// in tests): row r, 0 = top, W bytes from the leftmost pixel.
using RowOf = std::function<std::uint8_t*(int row)>;
using ConstRowOf = std::function<const std::uint8_t*(int row)>;
// Called once after every finished row (the window steps its progress bar).
using RowDone = std::function<void()>;

// The weight of pass k (1..8): 128 for pass 1, halved for every later pass.
constexpr int PassWeight(int pass) {
    return 128 >> (pass - 1);
}

// The step label of pass k: "pasaż 1" ... "pasaż 8".
std::string PassTitle(int pass);
inline constexpr const char* kPixelMajorTitle = "dekodowanie";

// The bytes of one 8-bit picture of width × height whose rows start on
// 4-byte boundaries, as the display bitmaps do.
constexpr std::uint64_t PictureBytes(std::uint32_t width, std::uint32_t height) {
    return ((std::uint64_t{width} + 3) & ~std::uint64_t{3}) * height;
}

// What a decode of a width × height container holds at once: the picture
// being built and its row buffer, and in plane order also the pass on show.
std::uint64_t DecodeMemoryNeed(std::uint16_t width, std::uint16_t height, bool planeMajor);
// Throws Error(PictureTooLargeMessage) when that does not fit the memory
// budget; nothing is allocated.
void CheckDecodeMemory(std::uint16_t width, std::uint16_t height, bool planeMajor);

// Rebuilds a pixel-order image from the decoded bit bytes: sets the stream's
// position to 0, then reads 8·W bytes per row; pixel i is the sum of byte
// 8i + k times (128 >> k), modulo 256. Bytes other than 0/1 count with their
// full value; bytes missing at the end of the stream count as 0. The row
// buffer is checked against the memory budget before it is taken.
void ReconstructPixelMajor(ByteStream& decoded, std::uint16_t width, std::uint16_t height,
                           const RowOf& image, const RowDone& rowDone = {});

// Builds pass k (1..8) of a plane-order image from the next W·H bytes of the
// decoded stream (the caller sets its position to 0 before pass 1). Pass 1:
// pixel = byte·128; pass k > 1: pixel = byte·weight + the same pixel of the
// previous pass, read from `previous`; all modulo 256. Missing bytes count as
// 0. `previous` may give the same rows as `image`.
void ReconstructPass(ByteStream& decoded, int pass, std::uint16_t width, std::uint16_t height,
                     const RowOf& image, const ConstRowOf& previous, const RowDone& rowDone = {});

}  // namespace eks
