// libFuzzer target: the decoder on arbitrary bytes. It must either restore something or
// refuse the stream as corrupt or of an unknown version; it must never crash, hang, read out
// of bounds or fail in any other way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "coder/arith/engine/Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using eks::arith::CodecError;
    eks::arith::DecodeOptions options;
    // The length in a header is trusted only after the header's CRC; a forged one could ask
    // for an arbitrarily long output, which is legitimate but useless to a fuzzer.
    options.max_length = 1 << 20;
    try {
        eks::arith::DecodeBytes(std::span<const uint8_t>(data, size), options);
    } catch (const CodecError& e) {
        if (e.kind() != CodecError::Kind::kCorruptStream &&
            e.kind() != CodecError::Kind::kUnknownVersion) {
            std::abort();  // the decoder has no other reason to refuse a stream
        }
    }
    return 0;
}
