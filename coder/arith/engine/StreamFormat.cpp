#include "coder/arith/engine/StreamFormat.h"

#include <algorithm>
#include <string>

#include "coder/arith/engine/CodecError.h"
#include "coder/arith/engine/Crc32c.h"

namespace eks::arith {
namespace {

void PutLe(uint8_t* dst, uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
        dst[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t GetLe(const uint8_t* src, int size) {
    uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | src[i];
    return value;
}

[[noreturn]] void Corrupt(const char* reason) {
    throw CodecError(CodecError::Kind::kCorruptStream, reason);
}

}  // namespace

void CheckOrder(int order) {
    if (order < 0 || order > kMaxOrder) {
        throw CodecError(CodecError::Kind::kOrderOutOfRange,
                         "niedozwolony rząd modelu " + std::to_string(order));
    }
}

std::array<uint8_t, kHeaderSize> SerializeHeader(const StreamHeader& header) {
    std::array<uint8_t, kHeaderSize> out{};
    std::copy(kMagic.begin(), kMagic.end(), out.begin());
    out[4] = kFormatVersion;
    out[5] = static_cast<uint8_t>(header.order);
    out[6] = static_cast<uint8_t>(header.path);
    out[7] = 0;
    PutLe(&out[8], header.length, 8);
    PutLe(&out[16], header.crc, 4);
    PutLe(&out[20], Crc32c::Of(out.data(), 20), 4);
    return out;
}

void CheckPrefix(std::span<const uint8_t, kPrefixSize> bytes) {
    if (!std::equal(kMagic.begin(), kMagic.end(), bytes.begin())) {
        Corrupt("to nie jest plik utworzony przez arith-n.exe (zła sygnatura)");
    }
    if (bytes[4] != kFormatVersion) {
        throw CodecError(CodecError::Kind::kUnknownVersion,
                         "nieznana wersja formatu " + std::to_string(bytes[4]));
    }
}

StreamHeader ParseHeader(std::span<const uint8_t, kHeaderSize> bytes) {
    CheckPrefix(bytes.first<kPrefixSize>());
    if (GetLe(&bytes[20], 4) != Crc32c::Of(bytes.data(), 20)) {
        Corrupt("nagłówek jest uszkodzony (zła suma kontrolna)");
    }
    if (bytes[5] > kMaxOrder) Corrupt("niedozwolony rząd modelu w nagłówku");
    if (bytes[6] > static_cast<uint8_t>(CodingPath::kBits) || bytes[7] != 0) {
        Corrupt("nieznany tryb kodowania w nagłówku");
    }
    StreamHeader header;
    header.order = bytes[5];
    header.path = static_cast<CodingPath>(bytes[6]);
    header.length = GetLe(&bytes[8], 8);
    header.crc = static_cast<uint32_t>(GetLe(&bytes[16], 4));
    return header;
}

}  // namespace eks::arith
