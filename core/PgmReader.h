#pragma once

#include <cstdint>
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

// Loads the file at state.CurrentPath whole into state.SourceStream and scans
// its header (ScanPgmHeader). "Cannot open file <path>" leaves SourceStream
// as it was.
void ReadPgmHeader(ExperimentState& state);

// Scans the header of the raw PGM held in state.SourceStream: sets
// ImageWidth, ImageHeight (low 16 bits), ResultWidth, ResultHeight and
// PixelDataOffset, and leaves the stream's position at PixelDataOffset.
// The raster itself is never touched. Fields set before a failing step keep
// their new values. Throws Error with "'<digits>' is not a valid integer
// value" for an empty or too large width or height, and with
// TruncatedPgmHeaderMessage when the data ends inside the header.
void ScanPgmHeader(ExperimentState& state);

std::string TruncatedPgmHeaderMessage(const std::string& path);

}  // namespace eks
