// The frozen stream format: streams written by a released coder decode byte for byte
// forever, and today's encoder still writes exactly those bytes. The streams in golden/ were
// made once and are never regenerated; their originals are rebuilt here from the sample
// images. A failure means that the model, the coder or the header has changed: that is a new
// format version, and the streams here must keep decoding under the old one.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "coder/arith/engine/Codec.h"
#include "coder/arith/engine/StreamFormat.h"

namespace eks::arith {
namespace {

using Bytes = std::vector<uint8_t>;

// How an original is made from a run of pixel bytes.
enum class Shape {
    kPixelBits,  // eight 0/1 bytes per pixel, most significant bit first
    kPlaneBits,  // bit 7 of every pixel, then bit 6 of every pixel, ..., then bit 0
    kRawBytes,   // the pixel bytes themselves (the general path)
};

struct GoldenCase {
    const char* stream;  // file in golden/
    const char* sample;  // samples/<sample>.pgm; nullptr for the empty original
    int row;             // the run of pixels starts at this row of the raster
    size_t pixels;       // and is this long
    Shape shape;
    int order;
    CodingPath path;
};

std::ostream& operator<<(std::ostream& os, const GoldenCase& c) {
    return os << c.stream;
}

const GoldenCase kCases[] = {
    {"bits_o0_camera.arn", "camera", 200, 2048, Shape::kPixelBits, 0, CodingPath::kBits},
    {"bits_o3_coins.arn", "coins", 100, 2048, Shape::kPixelBits, 3, CodingPath::kBits},
    {"bits_o9_astronaut.arn", "astronaut", 256, 2048, Shape::kPixelBits, 9, CodingPath::kBits},
    // Long runs of white and black: the model at its most certain.
    {"bits_o9_horse.arn", "horse", 100, 4096, Shape::kPixelBits, 9, CodingPath::kBits},
    {"bits_o15_text_planes.arn", "text", 60, 2048, Shape::kPlaneBits, 15, CodingPath::kBits},
    // The general path with long runs, where the counts reach their limits.
    {"bytes_o1_horse.arn", "horse", 100, 4096, Shape::kRawBytes, 1, CodingPath::kBytes},
    {"bytes_o2_horse.arn", "horse", 60, 4096, Shape::kRawBytes, 2, CodingPath::kBytes},
    {"bytes_o4_coins.arn", "coins", 150, 2048, Shape::kRawBytes, 4, CodingPath::kBytes},
    {"empty.arn", nullptr, 0, 0, Shape::kPixelBits, 0, CodingPath::kBits},
};

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) ADD_FAILURE() << "cannot read " << path;
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The raster of an 8-bit PGM sample ("P5 width height 255" and one byte per pixel).
Bytes SampleRaster(const std::string& name, size_t& width) {
    const Bytes file = ReadFile(std::string(EKS_SAMPLES_DIR) + "/" + name + ".pgm");
    std::istringstream header(std::string(file.begin(), file.end()));
    std::string magic;
    size_t height = 0;
    int maxval = 0;
    header >> magic >> width >> height >> maxval;
    const auto start = static_cast<size_t>(header.tellg()) + 1;
    if (!header || magic != "P5" || maxval != 255 || file.size() != start + width * height) {
        ADD_FAILURE() << "not an 8-bit raw PGM: " << name;
        return {};
    }
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(start), file.end());
}

Bytes Shaped(const Bytes& pixels, Shape shape) {
    Bytes out;
    switch (shape) {
        case Shape::kRawBytes:
            return pixels;
        case Shape::kPixelBits:
            for (uint8_t p : pixels) {
                for (int b = 7; b >= 0; --b)
                    out.push_back(static_cast<uint8_t>((p >> b) & 1));
            }
            return out;
        case Shape::kPlaneBits:
            for (int b = 7; b >= 0; --b) {
                for (uint8_t p : pixels)
                    out.push_back(static_cast<uint8_t>((p >> b) & 1));
            }
            return out;
    }
    return out;
}

Bytes Original(const GoldenCase& c) {
    if (c.sample == nullptr) return {};
    size_t width = 0;
    const Bytes raster = SampleRaster(c.sample, width);
    const size_t first = static_cast<size_t>(c.row) * width;
    if (raster.size() < first + c.pixels) {
        ADD_FAILURE() << c.sample << " is too small";
        return {};
    }
    return Shaped(Bytes(raster.begin() + static_cast<std::ptrdiff_t>(first),
                        raster.begin() + static_cast<std::ptrdiff_t>(first + c.pixels)),
                  c.shape);
}

Bytes Golden(const GoldenCase& c) {
    return ReadFile(std::string(EKS_GOLDEN_DIR) + "/" + c.stream);
}

class GoldenStream : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenStream, DecodesToItsOriginal) {
    const GoldenCase& c = GetParam();
    const Bytes stream = Golden(c);
    ASSERT_GE(stream.size(), kHeaderSize);
    const Bytes original = Original(c);
    ASSERT_EQ(original.size(), c.shape == Shape::kRawBytes ? c.pixels : 8 * c.pixels);

    const StreamHeader header =
        ParseHeader(std::span<const uint8_t, kHeaderSize>(stream.data(), kHeaderSize));
    EXPECT_EQ(stream[4], 2) << "the first frozen format version";
    EXPECT_EQ(header.order, c.order);
    EXPECT_EQ(header.path, c.path);
    EXPECT_EQ(header.length, original.size());

    Bytes restored;
    ASSERT_NO_THROW(restored = DecodeBytes(stream));
    // Compared whole, then located: a mismatch shows where the models part.
    ASSERT_EQ(restored.size(), original.size());
    size_t first_difference = 0;
    while (first_difference < original.size() &&
           restored[first_difference] == original[first_difference]) {
        ++first_difference;
    }
    EXPECT_EQ(first_difference, original.size()) << "restored data differ from here on";
}

TEST_P(GoldenStream, EncodingTheOriginalGivesTheSameBytes) {
    const GoldenCase& c = GetParam();
    const Bytes stream = Golden(c);
    const Bytes encoded = EncodeBytes(Original(c), c.order);
    ASSERT_EQ(encoded.size(), stream.size());
    size_t first_difference = 0;
    while (first_difference < stream.size() &&
           encoded[first_difference] == stream[first_difference]) {
        ++first_difference;
    }
    EXPECT_EQ(first_difference, stream.size()) << "the stream differs from here on";
}

// Whole sample images in both bit orders at orders 1 to 9: the FNV-1a hash (64 bits) of each
// stream, recorded from the encoder of format version 2. Any change of the model or of the
// coder anywhere in these 108 streams shows here, as the order and sample that moved.
struct SampleStreams {
    const char* sample;
    Shape shape;
    uint64_t hash[9];  // orders 1 to 9
};

const SampleStreams kSampleStreams[] = {
    {"astronaut",
     Shape::kPixelBits,
     {0x25a3b4c3dd2cc0e9u, 0xa9b7d56ea1dfe700u, 0x5591fc4beb451ef7u, 0x2d115b6e474055aeu,
      0x19fbbb086da2bca8u, 0x4cedcbfb05407c30u, 0x7ce13f8cb927f3b9u, 0x8f9f0ee315dc56c5u,
      0x42b5e7363a8d796u}},
    {"astronaut",
     Shape::kPlaneBits,
     {0xba4ecda0ed1abb69u, 0x28ae8da2e7987ae3u, 0xe52ae41fcc7592f2u, 0xdb03f66d013fa823u,
      0x985eb5170555fe5u, 0x1cea5a4616f0af0du, 0x3b1f441d5769c994u, 0x1217b634fc3f7990u,
      0x77bba9850dfb6134u}},
    {"brick",
     Shape::kPixelBits,
     {0x80426aee6fb10219u, 0x24730e14e93ad45bu, 0xba80ab6346b8e1du, 0xafc060e52541fcdbu,
      0x1760536de31885d7u, 0x48b8005cb86aa6e3u, 0x786939cde3bae49cu, 0x584c108d13fe62fbu,
      0x37d087331f397f69u}},
    {"brick",
     Shape::kPlaneBits,
     {0x2610ab232eb73ff6u, 0xbf104c3c74c00198u, 0xac4cfa3b14dbb7efu, 0x2bcf5d2b163e48bau,
      0x57087de9fd40236bu, 0xd2163f70ff50af07u, 0x7592f79869b5eee6u, 0xec81830d81f6343fu,
      0xb7bfa3f8a3ed12e7u}},
    {"camera",
     Shape::kPixelBits,
     {0xe571997247e75472u, 0x55abe3875b8dfde8u, 0x86b9c97f82282f48u, 0x9044dea0ed9dd3ceu,
      0x829612d54fd29b74u, 0x3ccccc2d15563ea5u, 0x2b59fadc5f0c356fu, 0xe05be0c3fbe580ecu,
      0x17daa8cbfcb5b81du}},
    {"camera",
     Shape::kPlaneBits,
     {0x20834dfa466ba700u, 0x4ad4eb8a91fdc3c6u, 0x5078a47e54d250b4u, 0x90e86a331a37eeau,
      0x9383169e82979cc3u, 0xa493adca5a60897du, 0x8aaf894d7ce3d779u, 0x344fd82d7bb72dfcu,
      0x1bbfe1b4ed03ca70u}},
    {"coins",
     Shape::kPixelBits,
     {0xdcbfd56acb268a62u, 0x6699ea059d276593u, 0xd472386bc6ff16a1u, 0x881778f0aa189ccu,
      0xd6d4a7dd968c0c46u, 0x21991591f2968807u, 0xe4b55721764f7ec6u, 0x817b56a5eab28ca5u,
      0x8cad31582e420705u}},
    {"coins",
     Shape::kPlaneBits,
     {0x469f7adc5bcde3b4u, 0x93e6fb09436a930eu, 0x3e78c0ff32480a30u, 0xdb17beee992a11b1u,
      0x11cd1184d85f6a1bu, 0xfc61da2ece61350u, 0x70a35282b3ed0dc9u, 0xdaff7108ca96c65fu,
      0xe3d53f0c83d57cf8u}},
    {"horse",
     Shape::kPixelBits,
     {0xdf4fd34ecb18c362u, 0xdefa1bfdcb1296f9u, 0x1090515105c5eae5u, 0x2c9f5c2d7428313eu,
      0x351f0342d342b15fu, 0x5b3bfa3afdf747c0u, 0xb277431b90482b68u, 0x6f129d1f19cfa5cdu,
      0x1563914647213989u}},
    {"horse",
     Shape::kPlaneBits,
     {0x7443127a22cd5c13u, 0x1b6de19167b53e59u, 0xe6614eaa5073d9deu, 0x44d9c719abccf463u,
      0xc83d5c6e61e4b881u, 0x67186dff780a2126u, 0x29028196210bfa5u, 0x81190ec47636201fu,
      0xe8dba426cbfcc075u}},
    {"text",
     Shape::kPixelBits,
     {0xd5e6b963fc06ac06u, 0x29f4e44839f9785u, 0xc9c0339a1a7eb695u, 0xa578b72f72d9a651u,
      0x8d81470c31d433ecu, 0xf0a01b424e171a95u, 0xb5bbc5dccd0c5e49u, 0x3740950a64ca819u,
      0x72a3af619c51381u}},
    {"text",
     Shape::kPlaneBits,
     {0xbafb7ab3b94b7df9u, 0xc7651ebdea6a1b0u, 0xc227974d93faad3u, 0x4f7d3899ad6f42dfu,
      0x6656d7556f54f3ddu, 0x3c4d4bf39ae51f6cu, 0x40a3f5e5c0f183d7u, 0xed1d99a194773284u,
      0xeb779ebf3abf1c87u}},
};

uint64_t Fnv1a64(const Bytes& data) {
    uint64_t h = 0xcbf29ce484222325u;
    for (uint8_t b : data)
        h = (h ^ b) * 0x100000001b3u;
    return h;
}

TEST(GoldenSampleStreams, EveryOrderAndBitOrderWritesTheRecordedBytes) {
    for (const SampleStreams& s : kSampleStreams) {
        size_t width = 0;
        const Bytes bits = Shaped(SampleRaster(s.sample, width), s.shape);
        ASSERT_FALSE(bits.empty()) << s.sample;
        for (int order = 1; order <= 9; ++order) {
            const uint64_t hash = Fnv1a64(EncodeBytes(bits, order));
            EXPECT_EQ(hash, s.hash[order - 1])
                << s.sample << (s.shape == Shape::kPlaneBits ? " P" : " B") << " order " << order
                << std::hex << ": 0x" << hash;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Version2, GoldenStream, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                             std::string name = info.param.stream;
                             name = name.substr(0, name.find('.'));
                             return name;
                         });

}  // namespace
}  // namespace eks::arith
