#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/ExperimentState.h"

namespace eks {

// A line break is CR or LF and nothing else; spaces and tabs are not.
constexpr bool IsLineBreak(std::uint8_t b) {
    return b == 13 || b == 10;
}
constexpr bool IsNotLineBreak(std::uint8_t b) {
    return !IsLineBreak(b);
}

// What the header of a raw PGM says. A scan that fails part way keeps what it
// had read: after a bad height the width is still there, and a load applies
// it as it stands.
struct PgmHeader {
    std::optional<std::uint16_t> width;  // at most kMaxImageSide
    std::optional<std::uint16_t> height;
    std::size_t pixelDataOffset = 0;  // the first raster byte; set when whole
    // Empty when the header is whole; else "'<digits>' is not a valid integer
    // value" for an empty or too large width or height, ImageTooLargeMessage
    // for a side above kMaxImageSide, or
    // TruncatedPgmHeaderMessage when the data ends inside the header.
    std::string error;
    bool Whole() const { return error.empty(); }
};

// Scans the header of the raw PGM in `file` (path names it in messages). The
// raster itself is never touched.
PgmHeader ParsePgmHeader(const ByteStream& file, const std::string& path);

// Applies a header to the state: ImageWidth, ImageHeight, ResultWidth,
// ResultHeight and PixelDataOffset, as far as they were read. Throws Error
// with the scan's error after applying what it had read.
void ApplyPgmHeader(ExperimentState& state, const PgmHeader& header);

// Scans state.SourceStream (none: no bytes) and applies its header.
void ScanPgmHeader(ExperimentState& state);

std::string TruncatedPgmHeaderMessage(const std::string& path);

// The largest width or height a container can hold (16 bits each).
inline constexpr std::int32_t kMaxImageSide = 65535;
// "Obraz 1×100000 jest za duży: szerokość i wysokość mogą mieć najwyżej 65535
// pikseli".
std::string ImageTooLargeMessage(std::int64_t width, std::int64_t height);

}  // namespace eks
