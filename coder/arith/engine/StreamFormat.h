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
//
// Version 2 is the first frozen format: every stream written in it decodes, byte for byte,
// with every later release, and the encoder of version 2 writes exactly the same bytes as it
// did when the format was frozen (the streams in tests/coder/arith/golden are examples). The
// versions before it were development formats and are refused. Any change of the header, of
// the range coder or of a model (its parameters and tables included) makes a new version; the
// decoder then keeps decoding every earlier frozen version. The magic and the version byte
// stay where they are in every version, so that the version is known before anything else of
// the header is checked: a stream of an unknown version is reported as such and not as a
// damaged one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace eks::arith {

inline constexpr int kMaxOrder = 15;
inline constexpr int kDefaultOrder = 0;
inline constexpr uint8_t kFormatVersion = 2;  // the version that the encoder writes
inline constexpr size_t kHeaderSize = 24;
inline constexpr size_t kPrefixSize = 5;  // the magic and the version
inline constexpr std::array<uint8_t, 4> kMagic = {0x8A, 'A', 'R', 'N'};

enum class CodingPath : uint8_t { kBytes = 0, kBits = 1 };

struct StreamHeader {
    int order = kDefaultOrder;
    CodingPath path = CodingPath::kBytes;
    uint64_t length = 0;
    uint32_t crc = 0;

    bool operator==(const StreamHeader&) const = default;
};

// Throws CodecError (kOrderOutOfRange) unless 0 <= order <= kMaxOrder.
void CheckOrder(int order);

std::array<uint8_t, kHeaderSize> SerializeHeader(const StreamHeader& header);

// Checks the magic, then the version. Throws CodecError: kCorruptStream when the magic is
// wrong, kUnknownVersion (the message names the version) when this decoder lacks the version.
void CheckPrefix(std::span<const uint8_t, kPrefixSize> bytes);

// Checks the prefix as CheckPrefix does, then the header's checksum, then every field; throws
// CodecError with the reason when one is wrong.
StreamHeader ParseHeader(std::span<const uint8_t, kHeaderSize> bytes);

}  // namespace eks::arith
