// Compression and decompression of whole byte streams. Failures of the engine are
// CodecError; what the source or the sink throws passes through.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

#include "coder/arith/engine/CodecError.h"
#include "coder/arith/engine/StreamFormat.h"
#include "coder/arith/engine/Streams.h"

namespace eks::arith {

struct InputSummary {
    uint64_t length = 0;
    uint32_t crc = 0;
    bool bits_only = true;  // every byte is 0 or 1
};

// Reads the whole source once, from where it stands.
InputSummary Summarize(ByteSource& input);

// Compresses `input` with the given order (0 to kMaxOrder) into `output`. The input is read
// twice, first to choose the path and to fill the header, then to code it. Throws CodecError:
// kOrderOutOfRange before anything is read or written, kInputChanged when the second reading
// differs from the first. Returns the header written.
StreamHeader Encode(ByteSource& input, int order, ByteSink& output);

struct DecodeOptions {
    // Streams that announce a longer original are refused as corrupt.
    uint64_t max_length = std::numeric_limits<uint64_t>::max();
    // Called once the header has been read and checked, before any output.
    std::function<void(const StreamHeader&)> on_header;
};

// Restores the original from a stream made by Encode. Throws CodecError: kUnknownVersion for a
// stream of a format version this decoder lacks (found before anything else of the header is
// checked), kCorruptStream when the header, the length, the CRC or the end of the payload
// does not check out. The output written up to then must be discarded by the caller. Returns
// the header read.
StreamHeader Decode(ByteSource& input, ByteSink& output, const DecodeOptions& options = {});

std::vector<uint8_t> EncodeBytes(std::span<const uint8_t> data, int order);
std::vector<uint8_t> DecodeBytes(std::span<const uint8_t> stream,
                                 const DecodeOptions& options = {});

}  // namespace eks::arith
