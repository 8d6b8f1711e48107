// libFuzzer target: the decoder on arbitrary bytes. It must either restore something or
// refuse the stream with CorruptStream; it must never crash, hang or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "Codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    eks::arith::DecodeOptions options;
    // The length in a header is trusted only after the header's CRC; a forged one could ask
    // for an arbitrarily long output, which is legitimate but useless to a fuzzer.
    options.max_length = 1 << 20;
    try {
        eks::arith::DecodeBytes(std::span<const uint8_t>(data, size), options);
    } catch (const eks::arith::CorruptStream&) {
    }
    return 0;
}
