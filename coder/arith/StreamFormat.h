// The header at the start of every compressed stream.
//
// Offset  Size  Field
//      0     4  magic 0x8A 'A' 'R' 'N'
//      4     1  format version (2)
//      5     1  order, 0 to 15
//      6     1  path: 0 = general (eight decisions per byte), 1 = every byte is 0 or 1
//      7     1  reserved, 0
//      8     8  length of the original in bytes, little-endian
//     16     4  CRC-32C of the original, little-endian
//     20     4  CRC-32C of bytes 0 to 19, little-endian
// The coded payload follows and runs to the end of the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace eks::arith {

inline constexpr int kMaxOrder = 15;
inline constexpr int kDefaultOrder = 0;
inline constexpr uint8_t kFormatVersion = 2;
inline constexpr size_t kHeaderSize = 24;
inline constexpr std::array<uint8_t, 4> kMagic = {0x8A, 'A', 'R', 'N'};

enum class CodingPath : uint8_t { kBytes = 0, kBits = 1 };

struct StreamHeader {
    int order = kDefaultOrder;
    CodingPath path = CodingPath::kBytes;
    uint64_t length = 0;
    uint32_t crc = 0;

    bool operator==(const StreamHeader&) const = default;
};

std::array<uint8_t, kHeaderSize> SerializeHeader(const StreamHeader& header);

// Checks every field; throws CorruptStream with the reason when one is wrong.
StreamHeader ParseHeader(std::span<const uint8_t, kHeaderSize> bytes);

}  // namespace eks::arith
