// A binary arithmetic coder with a 32-bit range and 16-bit probabilities, without carries.
//
// The interval [low, high] shrinks with every decision; once the top bytes of low and high
// agree, that byte is final and goes out. At the end the encoder writes the four bytes of
// low, so the decoder, which reads four bytes ahead at the start and one byte for every byte
// the encoder shifted out, consumes exactly the bytes the encoder wrote: a valid stream never
// asks for a byte past its end, and it leaves none unread.
//
// The coding loops work on chunks of at most kChunkDecisions decisions with the coder's state
// in a small `Core` held in local variables; between chunks the buffers are refilled or
// drained. One decision moves at most four bytes, so a chunk never runs out of buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "coder/arith/engine/CodecError.h"
#include "coder/arith/engine/Streams.h"

namespace eks::arith {

inline constexpr size_t kChunkDecisions = 4096;
inline constexpr size_t kMaxBytesPerDecision = 4;

// Narrows [low, high] to [low, mid] when `one` holds, else to [mid + 1, high], and returns
// `one` as 0 or 1. The bits are hard to predict, so this must not branch: on x86-64 two
// conditional moves do it (compilers tend to turn the plain form into a branch), elsewhere
// masks.
inline uint32_t SelectInterval(bool one, uint32_t mid, uint32_t& low, uint32_t& high) {
#if defined(__GNUC__) && defined(__x86_64__)
    const uint32_t flag = one;
    __asm__(
        "test %[flag], %[flag]\n\t"
        "cmovnz %[mid], %[high]\n\t"
        "cmovz %[mid1], %[low]"
        : [high] "+r"(high), [low] "+r"(low)
        : [flag] "r"(flag), [mid] "r"(mid), [mid1] "r"(mid + 1)
        : "cc");
    return flag;
#else
    const uint32_t take = 0u - static_cast<uint32_t>(one);  // all ones when one holds
    high = (mid & take) | (high & ~take);
    low = (low & take) | ((mid + 1) & ~take);
    return static_cast<uint32_t>(one);
#endif
}

// The decoder's form of SelectInterval: the bit is 1 when `code` <= `below`; the comparison
// and the selections are one short sequence. The same comparison also sets `pick` to `if1`
// when the bit is 1 (and leaves it as it is otherwise), so that a choice that hangs on the
// bit waits for nothing but the comparison.
inline uint32_t SelectByCode(uint32_t code, uint32_t below, uint32_t mid, uint32_t& low,
                             uint32_t& high, uint32_t& pick, uint32_t if1) {
#if defined(__GNUC__) && defined(__x86_64__)
    // below - code borrows exactly when the bit is 0; low then becomes mid and takes the
    // borrow as its + 1, which saves the loop a register for mid + 1.
    uint32_t bit;
    __asm__(
        "xor %k[bit], %k[bit]\n\t"
        "cmp %[code], %[below]\n\t"
        "cmovae %[mid], %[high]\n\t"
        "cmovae %[if1], %[pick]\n\t"
        "cmovb %[mid], %[low]\n\t"
        "setae %b[bit]\n\t"
        "adc $0, %[low]"
        : [high] "+r"(high), [low] "+r"(low), [pick] "+r"(pick), [bit] "=&r"(bit)
        : [code] "r"(code), [below] "r"(below), [mid] "r"(mid), [if1] "r"(if1)
        : "cc");
    return bit;
#else
    const uint32_t bit = SelectInterval(code <= below, mid, low, high);
    pick ^= (pick ^ if1) & (0u - bit);
    return bit;
#endif
}

class BinaryEncoder {
  public:
    struct Core {
        uint32_t low;
        uint32_t high;
        uint8_t* out;

        // Codes `bit` where `p1` is P(bit == 1) * 65536, in [1, 65535].
        void Encode(int bit, uint32_t p1) {
            // Local copies, as in the decoder, so that the compiler keeps each in a register
            // of its own instead of packing low and high into one.
            uint32_t l = low, h = high;
            uint8_t* o = out;
            const uint32_t mid = l + static_cast<uint32_t>((uint64_t{h - l} * p1) >> 16);
            SelectInterval(bit != 0, mid, l, h);
            // The leading bytes in which low and high agree are final and go out. This branch
            // is rarely taken (about once per byte of output), so it predicts well and costs
            // less than shifting by a computed count at every decision.
            while (((l ^ h) & 0xFF000000u) == 0) {
                *o++ = static_cast<uint8_t>(h >> 24);
                l <<= 8;
                h = (h << 8) | 0xFFu;
            }
            low = l;
            high = h;
            out = o;
        }
    };

    explicit BinaryEncoder(ByteSink& sink) : sink_(sink), buffer_(new uint8_t[kBufferSize]) {}

    // Room for a chunk of decisions.
    Core Begin() {
        if (used_ + kChunkDecisions * kMaxBytesPerDecision + 4 > kBufferSize) Drain();
        return Core{low_, high_, buffer_.get() + used_};
    }
    void End(const Core& core) {
        low_ = core.low;
        high_ = core.high;
        used_ = static_cast<size_t>(core.out - buffer_.get());
    }

    // Writes the final bytes and hands everything to the sink.
    void Finish() {
        Core core = Begin();
        for (int shift = 24; shift >= 0; shift -= 8)
            *core.out++ = static_cast<uint8_t>(low_ >> shift);
        End(core);
        Drain();
    }

  private:
    static constexpr size_t kBufferSize = size_t{1} << 17;

    void Drain() {
        sink_.Write(buffer_.get(), used_);
        used_ = 0;
    }

    ByteSink& sink_;
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t low_ = 0;
    uint32_t high_ = 0xFFFFFFFFu;
    size_t used_ = 0;
};

class BinaryDecoder {
    static constexpr size_t kBufferSize = size_t{1} << 17;
    static constexpr size_t kSlack = kChunkDecisions * kMaxBytesPerDecision + 4;

  public:
    struct Core {
        uint32_t low;
        uint32_t high;
        uint32_t x;
        const uint8_t* in;

        // Decodes one decision coded with the same `p1` the encoder used.
        int Decode(uint32_t p1) {
            uint32_t unused = 0;
            return Decode(p1, unused, 0);
        }

        // Decode, which also sets `pick` to `if1` when the bit is 1 and leaves it otherwise.
        int Decode(uint32_t p1, uint32_t& pick, uint32_t if1) {
            // Local copies, so that the compiler keeps them in registers.
            uint32_t l = low, h = high, c = x;
            const uint32_t below = static_cast<uint32_t>((uint64_t{h - l} * p1) >> 16);
            const uint32_t mid = l + below;
            // x - low is ready before p1 is, so the comparison waits only for the product.
            const uint32_t bit = SelectByCode(c - l, below, mid, l, h, pick, if1);
            // As in the encoder: as many bytes move in as went out there.
            while (((l ^ h) & 0xFF000000u) == 0) {
                c = (c << 8) | *in++;
                l <<= 8;
                h = (h << 8) | 0xFFu;
            }
            low = l;
            high = h;
            x = c;
            return static_cast<int>(bit);
        }
    };

    // Reads the first four bytes of the payload; throws CodecError if there are fewer.
    explicit BinaryDecoder(ByteSource& source)
        : source_(source), buffer_(new uint8_t[kBufferSize + kSlack]) {
        Core core = Begin();
        for (int i = 0; i < 4; ++i)
            core.x = (core.x << 8) | *core.in++;
        End(core);
    }

    // Input for a chunk of decisions. Past the end of the source the buffer holds zeros;
    // End throws as soon as a chunk has consumed any of them.
    Core Begin() {
        if (len_ - pos_ < kSlack) {
            std::memmove(buffer_.get(), buffer_.get() + pos_, len_ - pos_);
            len_ -= pos_;
            pos_ = 0;
            while (!eof_ && len_ < kBufferSize) {
                const size_t n = source_.Read(buffer_.get() + len_, kBufferSize - len_);
                if (n == 0) eof_ = true;
                len_ += n;
            }
            std::memset(buffer_.get() + len_, 0, kSlack);  // all that a chunk can read beyond
        }
        return Core{low_, high_, x_, buffer_.get() + pos_};
    }
    void End(const Core& core) {
        low_ = core.low;
        high_ = core.high;
        x_ = core.x;
        pos_ = static_cast<size_t>(core.in - buffer_.get());
        if (pos_ > len_) {
            throw CodecError(CodecError::Kind::kCorruptStream, "dane skompresowane są ucięte");
        }
    }

    // True when every byte of the source has been consumed.
    bool AtEnd() {
        if (pos_ < len_) return false;
        if (eof_) return true;
        pos_ = len_ = 0;
        const size_t n = source_.Read(buffer_.get(), kBufferSize);
        len_ = n;
        eof_ = n == 0;
        return n == 0;
    }

  private:
    ByteSource& source_;
    // kBufferSize bytes of data and room for the zeros a chunk may run into past the end.
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t low_ = 0;
    uint32_t high_ = 0xFFFFFFFFu;
    uint32_t x_ = 0;
    size_t pos_ = 0;
    size_t len_ = 0;
    bool eof_ = false;
};

}  // namespace eks::arith
