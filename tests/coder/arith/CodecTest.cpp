#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "coder/arith/engine/BitModel.h"
#include "coder/arith/engine/ByteModel.h"
#include "coder/arith/engine/Codec.h"
#include "coder/arith/engine/Crc32c.h"
#include "coder/arith/engine/StreamFormat.h"

namespace eks::arith {
namespace {

using Bytes = std::vector<uint8_t>;
using Kind = CodecError::Kind;

// The kind of the CodecError that `f` throws; nothing when it throws none. Any other exception
// passes through and fails the test.
template <typename F>
std::optional<Kind> Refusal(F&& f) {
    try {
        f();
    } catch (const CodecError& e) {
        return e.kind();
    }
    return std::nullopt;
}

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

// Bits from a two-state Markov source, p(flip) small: long runs, a skewed order-1 model.
Bytes MarkovBits(size_t n, double flip, uint32_t seed) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution change(flip);
    Bytes out(n);
    uint8_t bit = 0;
    for (auto& b : out) {
        if (change(rng)) bit ^= 1;
        b = bit;
    }
    return out;
}

// Pixel-order bit bytes of a smooth synthetic greyscale image.
Bytes ImageBits(int width, int height) {
    Bytes out;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int v = static_cast<int>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.03));
            for (int b = 7; b >= 0; --b)
                out.push_back(static_cast<uint8_t>((v >> b) & 1));
        }
    }
    return out;
}

StreamHeader HeaderOf(const Bytes& stream) {
    return ParseHeader(std::span<const uint8_t, kHeaderSize>(stream.data(), kHeaderSize));
}

void ExpectRoundTrip(const Bytes& data, int order) {
    const Bytes stream = EncodeBytes(data, order);
    const StreamHeader header = HeaderOf(stream);
    EXPECT_EQ(header.order, order);
    EXPECT_EQ(header.length, data.size());
    EXPECT_EQ(header.crc, Crc32c::Of(data.data(), data.size()));
    const bool bits = std::all_of(data.begin(), data.end(), [](uint8_t b) { return b <= 1; });
    EXPECT_EQ(header.path, bits ? CodingPath::kBits : CodingPath::kBytes);
    EXPECT_EQ(DecodeBytes(stream), data) << "order " << order << ", " << data.size() << " bytes";
}

class ArithRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(ArithRoundTrip, EdgeCaseInputs) {
    const int order = GetParam();
    ExpectRoundTrip({}, order);
    ExpectRoundTrip({0}, order);
    ExpectRoundTrip({1}, order);
    ExpectRoundTrip({255}, order);
    Bytes all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    ExpectRoundTrip(all, order);
    ExpectRoundTrip(Bytes(100000, 0), order);
    ExpectRoundTrip(Bytes(100000, 1), order);
    ExpectRoundTrip(Bytes(50000, 0xAA), order);
}

TEST_P(ArithRoundTrip, RandomAndStructuredInputs) {
    const int order = GetParam();
    ExpectRoundTrip(RandomBytes(30000, 7u + static_cast<uint32_t>(order)), order);
    ExpectRoundTrip(MarkovBits(60000, 0.02, 3), order);
    ExpectRoundTrip(ImageBits(64, 48), order);
    // Bit bytes with a single other byte at the end must take the general path.
    Bytes almost = MarkovBits(5000, 0.1, 5);
    almost.push_back(2);
    ExpectRoundTrip(almost, order);
    for (uint32_t seed = 0; seed < 20; ++seed) {
        std::mt19937 rng(seed);
        ExpectRoundTrip(RandomBytes(rng() % 600, seed), order);
        ExpectRoundTrip(MarkovBits(rng() % 3000, 0.3, seed), order);
    }
}

// A pattern that every context soon predicts with certainty, then the same pattern inverted
// (every prediction confidently wrong: the model's shared weight falls steeply), then noise.
// Coding must stay exact through the swings, and the certain stretch cost next to nothing.
TEST_P(ArithRoundTrip, CertainThenConfidentlyWrongThenNoise) {
    const int order = GetParam();
    Bytes bits;
    for (int i = 0; i < 60000; ++i)
        bits.push_back(static_cast<uint8_t>((i % 7) < 3));
    const Bytes pattern = bits;
    for (uint8_t b : pattern)
        bits.push_back(static_cast<uint8_t>(b ^ 1));
    const Bytes noise = MarkovBits(20000, 0.5, 8);
    bits.insert(bits.end(), noise.begin(), noise.end());
    ExpectRoundTrip(bits, order);
    if (order >= 4) {
        // With four bits of context the period-7 pattern is certain; 60000 such bits should
        // cost next to nothing.
        EXPECT_LT(EncodeBytes(pattern, order).size(), kHeaderSize + 200);
    }
}

// Every order: the coding loops are instantiated separately for each.
INSTANTIATE_TEST_SUITE_P(Orders, ArithRoundTrip, ::testing::Range(0, kMaxOrder + 1));

TEST(ArithCodec, CrossesBlockBoundaries) {
    // Many of the encoder's reading blocks (256 KiB) and of the output blocks.
    ExpectRoundTrip(MarkovBits((size_t{5} << 17) + 3, 0.05, 11), 7);
}

// A source that hands out its data a few bytes at a time, as a pipe or a slow disk may.
class TrickleSource final : public ByteSource {
  public:
    explicit TrickleSource(Bytes data) : data_(std::move(data)) {}
    size_t Read(uint8_t* dst, size_t size) override {
        const size_t n = std::min({size, data_.size() - pos_, 1 + pos_ % 7});
        std::copy_n(data_.data() + pos_, n, dst);
        pos_ += n;
        return n;
    }
    void Rewind() override { pos_ = 0; }

  private:
    Bytes data_;
    size_t pos_ = 0;
};

TEST(ArithCodec, ShortReadsDoNotChangeTheStream) {
    const Bytes data = MarkovBits(20000, 0.1, 9);
    TrickleSource source(data);
    MemorySink sink;
    Encode(source, 4, sink);
    EXPECT_EQ(sink.Data(), EncodeBytes(data, 4));
    TrickleSource stream(sink.Data());
    MemorySink restored;
    Decode(stream, restored);
    EXPECT_EQ(restored.Data(), data);
}

// Returns other data on the second reading, as a file rewritten during coding would.
class ChangingSource final : public ByteSource {
  public:
    ChangingSource(Bytes first, Bytes second)
        : first_(std::move(first)), second_(std::move(second)) {}
    size_t Read(uint8_t* dst, size_t size) override {
        const Bytes& d = rewound_ ? second_ : first_;
        const size_t n = std::min(size, d.size() - pos_);
        std::copy_n(d.data() + pos_, n, dst);
        pos_ += n;
        return n;
    }
    void Rewind() override {
        rewound_ = true;
        pos_ = 0;
    }

  private:
    Bytes first_, second_;
    bool rewound_ = false;
    size_t pos_ = 0;
};

TEST(ArithCodec, InputChangedBetweenPassesIsReported) {
    const Bytes bits = MarkovBits(1000, 0.1, 1);
    Bytes flipped = bits;
    flipped[500] ^= 1;
    Bytes not_bits = bits;
    not_bits[10] = 7;
    Bytes longer = bits;
    longer.push_back(0);
    Bytes shorter(bits.begin(), bits.end() - 1);
    for (const Bytes& second : {flipped, not_bits, longer, shorter}) {
        ChangingSource source(bits, second);
        MemorySink sink;
        EXPECT_EQ(Refusal([&] { Encode(source, 3, sink); }), Kind::kInputChanged);
    }
}

TEST(ArithCodec, RejectsOrdersOutOfRange) {
    EXPECT_EQ(Refusal([] { EncodeBytes(Bytes{1}, -1); }), Kind::kOrderOutOfRange);
    EXPECT_EQ(Refusal([] { EncodeBytes(Bytes{1}, kMaxOrder + 1); }), Kind::kOrderOutOfRange);
    // The models refuse them too, rather than index past their tables.
    EXPECT_EQ(Refusal([] { BitModel model(kMaxOrder + 1); }), Kind::kOrderOutOfRange);
    EXPECT_EQ(Refusal([] { BitModel model(-1); }), Kind::kOrderOutOfRange);
    EXPECT_EQ(Refusal([] { ByteModel model(kMaxOrder + 1, 10); }), Kind::kOrderOutOfRange);
}

TEST(ArithCodec, CompressesWhatIsPredictable) {
    // 10^6 equal bits: the bits path needs a few dozen bytes beyond the header.
    EXPECT_LT(EncodeBytes(Bytes(1000000, 1), 1).size(), kHeaderSize + 40);
    // A Markov source with flip probability 0.02 has entropy 0.1414 bit per bit; an order-1
    // model should come within a few percent of it.
    const Bytes markov = MarkovBits(400000, 0.02, 21);
    const double entropy_bytes = 400000 * 0.14144 / 8;
    EXPECT_LT(static_cast<double>(EncodeBytes(markov, 1).size()), entropy_bytes * 1.03 + 64);
    // Random bytes must not grow much on the general path.
    EXPECT_LT(EncodeBytes(RandomBytes(100000, 4), 0).size(), 100000u * 101 / 100);
}

TEST(ArithHeader, RoundTripsSixtyFourBitLengths) {
    for (uint64_t length : {uint64_t{0}, uint64_t{0xFFFFFFFF}, uint64_t{0x100000000},
                            uint64_t{0x123456789ABCDEF0}, ~uint64_t{0}}) {
        const StreamHeader header{15, CodingPath::kBits, length, 0xDEADBEEF};
        const auto bytes = SerializeHeader(header);
        EXPECT_EQ(ParseHeader(bytes), header);
    }
    // The length is stored little-endian in bytes 8 to 15.
    const auto bytes = SerializeHeader({3, CodingPath::kBytes, 0x0102030405060708u, 0});
    EXPECT_EQ(bytes[8], 0x08);
    EXPECT_EQ(bytes[15], 0x01);
}

TEST(ArithHeader, EveryFlippedBitIsDetected) {
    const auto good = SerializeHeader({9, CodingPath::kBits, 123456789, 0xCAFEBABE});
    for (size_t i = 0; i < kHeaderSize; ++i) {
        for (int bit = 0; bit < 8; ++bit) {
            auto bad = good;
            bad[i] ^= static_cast<uint8_t>(1u << bit);
            // The version byte is read before the checksum: a changed one is a version
            // that this decoder does not know.
            EXPECT_EQ(Refusal([&] { ParseHeader(bad); }),
                      i == 4 ? Kind::kUnknownVersion : Kind::kCorruptStream)
                << "byte " << i << " bit " << bit;
        }
    }
}

TEST(ArithHeader, RejectsFieldsOutOfRangeEvenWithAValidChecksum) {
    auto reseal = [](std::array<uint8_t, kHeaderSize> h) {
        const uint32_t crc = Crc32c::Of(h.data(), 20);
        for (int i = 0; i < 4; ++i)
            h[static_cast<size_t>(20 + i)] = static_cast<uint8_t>(crc >> (8 * i));
        return h;
    };
    const auto good = SerializeHeader({2, CodingPath::kBits, 10, 0});
    EXPECT_NO_THROW(ParseHeader(reseal(good)));
    auto earlier = good;  // a stream of the earlier format, whose model differs
    earlier[4] = static_cast<uint8_t>(kFormatVersion - 1);
    auto later = good;
    later[4] = static_cast<uint8_t>(kFormatVersion + 1);
    auto order = good;
    order[5] = kMaxOrder + 1;
    auto path = good;
    path[6] = 2;
    auto reserved = good;
    reserved[7] = 1;
    for (const auto& h : {earlier, later}) {
        EXPECT_EQ(Refusal([&] { ParseHeader(reseal(h)); }), Kind::kUnknownVersion);
    }
    for (const auto& h : {order, path, reserved}) {
        EXPECT_EQ(Refusal([&] { ParseHeader(reseal(h)); }), Kind::kCorruptStream);
    }
}

// The version comes right after the magic and is checked before the checksum: a stream of a
// version that this decoder lacks (a development format, a later release) is reported as such,
// naming the version, and never as a damaged header.
TEST(ArithHeader, TheVersionIsCheckedBeforeTheChecksum) {
    const Bytes stream = EncodeBytes(Bytes{1, 0, 1, 1}, 3);
    for (uint8_t version : {uint8_t{1}, uint8_t{7}, uint8_t{255}}) {
        Bytes other = stream;
        other[4] = version;  // the header's checksum no longer fits either
        bool header_seen = false;
        DecodeOptions options;
        options.on_header = [&](const StreamHeader&) { header_seen = true; };
        try {
            DecodeBytes(other, options);
            ADD_FAILURE() << "version " << int{version} << " decoded";
        } catch (const CodecError& e) {
            EXPECT_EQ(e.kind(), Kind::kUnknownVersion);
            EXPECT_EQ(std::string(e.what()), "nieznana wersja formatu " + std::to_string(version));
        }
        EXPECT_FALSE(header_seen);
        // Also when the file ends before a header of version 2 would.
        EXPECT_EQ(Refusal([&] { DecodeBytes(std::span(other).first(kPrefixSize)); }),
                  Kind::kUnknownVersion);
    }
    // The magic comes first, and a file too short for the version is too short for a header.
    Bytes foreign = stream;
    foreign[0] ^= 1;
    foreign[4] = 7;
    EXPECT_EQ(Refusal([&] { DecodeBytes(foreign); }), Kind::kCorruptStream);
    EXPECT_EQ(Refusal([&] { DecodeBytes(std::span(stream).first(kPrefixSize - 1)); }),
              Kind::kCorruptStream);
    EXPECT_EQ(Refusal([&] { DecodeBytes(std::span(stream).first(kPrefixSize)); }),
              Kind::kCorruptStream);
}

TEST(ArithDecoder, LongLengthInHeaderFailsOnTheShortPayload) {
    // A stream claiming 5 GiB of output with a payload of a few bytes stops as soon as the
    // payload runs out, without allocating anything from the length.
    for (CodingPath path : {CodingPath::kBits, CodingPath::kBytes}) {
        const auto header = SerializeHeader({1, path, uint64_t{5} << 30, 0});
        Bytes stream(header.begin(), header.end());
        stream.insert(stream.end(), {0x00, 0x00, 0x00, 0x00, 0x00});
        MemorySource source(stream);
        MemorySink sink;
        EXPECT_EQ(Refusal([&] { Decode(source, sink); }), Kind::kCorruptStream);
        EXPECT_LT(sink.Data().size(), size_t{1} << 28);
    }
}

TEST(ArithDecoder, HonoursTheLengthLimit) {
    const Bytes stream = EncodeBytes(Bytes(1000, 1), 2);
    DecodeOptions options;
    options.max_length = 999;
    EXPECT_EQ(Refusal([&] { DecodeBytes(stream, options); }), Kind::kCorruptStream);
    options.max_length = 1000;
    EXPECT_EQ(DecodeBytes(stream, options), Bytes(1000, 1));
}

// Damaged streams: every change is refused, or it leaves the output exactly as it was.
void ExpectDamageDetected(const Bytes& data, int order) {
    const Bytes stream = EncodeBytes(data, order);
    for (size_t i = 0; i < stream.size(); ++i) {
        for (uint8_t mask : {uint8_t{0x01}, uint8_t{0x80}, uint8_t{0xFF}}) {
            Bytes bad = stream;
            bad[i] ^= mask;
            try {
                EXPECT_EQ(DecodeBytes(bad), data) << "byte " << i << " mask " << int{mask};
            } catch (const CodecError& e) {
                EXPECT_EQ(e.kind(), i == 4 ? Kind::kUnknownVersion : Kind::kCorruptStream)
                    << "byte " << i << " mask " << int{mask};
            }
        }
    }
    for (size_t len = 0; len < stream.size(); ++len) {
        EXPECT_EQ(Refusal([&] { DecodeBytes(std::span<const uint8_t>(stream.data(), len)); }),
                  Kind::kCorruptStream)
            << "truncated to " << len;
    }
    Bytes longer = stream;
    longer.push_back(0);
    EXPECT_EQ(Refusal([&] { DecodeBytes(longer); }), Kind::kCorruptStream);
}

TEST(ArithDecoder, DetectsDamageAndTruncationOnTheBitsPath) {
    ExpectDamageDetected(MarkovBits(3000, 0.05, 8), 3);
    ExpectDamageDetected(Bytes{}, 0);
}

TEST(ArithDecoder, DetectsDamageAndTruncationOnTheGeneralPath) {
    ExpectDamageDetected(RandomBytes(200, 5), 2);
    ExpectDamageDetected(Bytes{'a', 'b', 'c'}, 0);
}

TEST(ArithDecoder, RejectsGarbage) {
    for (uint32_t seed = 0; seed < 50; ++seed) {
        Bytes junk = RandomBytes(seed * 7, seed);
        EXPECT_EQ(Refusal([&] { DecodeBytes(junk); }), Kind::kCorruptStream);
        // Garbage behind a valid header: refused by the end check or the CRC.
        const auto header = SerializeHeader({static_cast<int>(seed % 16),
                                             seed % 2 ? CodingPath::kBits : CodingPath::kBytes,
                                             seed * 100, 0x12345678});
        junk.insert(junk.begin(), header.begin(), header.end());
        EXPECT_EQ(Refusal([&] { DecodeBytes(junk); }), Kind::kCorruptStream);
    }
}

TEST(ArithCrc32c, KnownValuesPiecesAndBothWaysOfComputing) {
    const char* text = "123456789";
    EXPECT_EQ(Crc32c::Of(reinterpret_cast<const uint8_t*>(text), 9), 0xE3069283u);
    EXPECT_EQ(Crc32c::Of(nullptr, 0), 0u);
    // 32 zero bytes and 32 bytes of 0xFF, the examples of RFC 3720.
    const Bytes zeros(32, 0), ones(32, 0xFF);
    EXPECT_EQ(Crc32c::Of(zeros.data(), zeros.size()), 0x8A9136AAu);
    EXPECT_EQ(Crc32c::Of(ones.data(), ones.size()), 0x62A8AB43u);
    // Incremental updates in odd pieces agree with one update over everything, and the
    // instruction-based computation (where the processor has it) with the tables.
    const Bytes data = RandomBytes(1001, 2);
    Crc32c crc;
    for (size_t pos = 0, step = 1; pos < data.size(); pos += step, step = step % 13 + 1) {
        crc.Update(data.data() + pos, std::min(step, data.size() - pos));
    }
    EXPECT_EQ(crc.Value(), Crc32c::Of(data.data(), data.size()));
    for (size_t size : {0u, 1u, 7u, 8u, 9u, 63u, 1000u}) {
        EXPECT_EQ(~Crc32c::UpdateByTable(0xFFFFFFFFu, data.data() + 1, size),
                  Crc32c::Of(data.data() + 1, size))
            << size;
    }
}

}  // namespace
}  // namespace eks::arith
