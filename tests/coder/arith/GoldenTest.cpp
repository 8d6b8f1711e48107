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

Bytes Original(const GoldenCase& c) {
    if (c.sample == nullptr) return {};
    size_t width = 0;
    const Bytes raster = SampleRaster(c.sample, width);
    const size_t first = static_cast<size_t>(c.row) * width;
    if (raster.size() < first + c.pixels) {
        ADD_FAILURE() << c.sample << " is too small";
        return {};
    }
    const Bytes pixels(raster.begin() + static_cast<std::ptrdiff_t>(first),
                       raster.begin() + static_cast<std::ptrdiff_t>(first + c.pixels));
    Bytes out;
    switch (c.shape) {
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

INSTANTIATE_TEST_SUITE_P(Version2, GoldenStream, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                             std::string name = info.param.stream;
                             name = name.substr(0, name.find('.'));
                             return name;
                         });

}  // namespace
}  // namespace eks::arith
