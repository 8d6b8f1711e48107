// libFuzzer target: the rebuilding of an image from a decoder's output, as a
// decode does it once a container's header has been read. The first five bytes
// are the header (width and height little-endian, the mode byte), the rest is
// the decoded stream. Under a small memory budget the size is either refused
// before anything is allocated, or the picture is rebuilt: every pixel must be
// the sum of its bit bytes by weight (missing bytes counting as 0), and a
// stream of 0/1 bytes long enough for the whole image must come back exactly
// as the bit sequence of the rebuilt picture.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "core/BitSequence.h"
#include "core/ByteStream.h"
#include "core/Container.h"
#include "core/Error.h"
#include "core/Memory.h"
#include "core/Reconstruction.h"

namespace {

using namespace eks;

// Small, so that every run is short: a plane-order decode of 181 × 181 pixels is
// already refused.
constexpr std::uint64_t kBudget = 64 << 10;

// A picture of the display's layout: rows of width bytes on 4-byte strides.
class Picture {
  public:
    Picture(std::uint16_t width, std::uint16_t height)
        : width_(width),
          height_(height),
          stride_((std::size_t{width} + 3) & ~std::size_t{3}),
          bytes_(PictureBytes(width, height), 0xAA) {}

    std::uint8_t* Row(int r) {
        FUZZ_REQUIRE(r >= 0 && r < height_);
        return bytes_.data() + static_cast<std::size_t>(r) * stride_;
    }
    const std::uint8_t* Row(int r) const {
        FUZZ_REQUIRE(r >= 0 && r < height_);
        return bytes_.data() + static_cast<std::size_t>(r) * stride_;
    }
    RowOf Rows() {
        return [this](int r) { return Row(r); };
    }
    ConstRowOf ConstRows() const {
        return [this](int r) { return Row(r); };
    }
    // The pixels without the row padding, top row first.
    std::vector<std::uint8_t> Pixels() const {
        std::vector<std::uint8_t> out;
        out.reserve(std::size_t{width_} * height_);
        for (int r = 0; r < height_; ++r)
            out.insert(out.end(), Row(r), Row(r) + width_);
        return out;
    }

  private:
    std::uint16_t width_, height_;
    std::size_t stride_;
    std::vector<std::uint8_t> bytes_;
};

// Byte i of the decoded stream; what it does not hold counts as 0.
struct Decoded {
    const std::uint8_t* data;
    std::size_t size;
    unsigned At(std::uint64_t i) const { return i < size ? data[i] : 0u; }
    bool BitsOnly() const {
        for (std::size_t i = 0; i < size; ++i)
            if (data[i] > 1) return false;
        return true;
    }
};

void CheckPixelMajor(const Decoded& d, ByteStream& stream, std::uint16_t w, std::uint16_t h) {
    Picture picture(w, h);
    int rows = 0;
    stream.Seek(stream.Size());  // the rebuild starts from the front by itself
    ReconstructPixelMajor(stream, w, h, picture.Rows(), [&rows] { ++rows; });
    FUZZ_REQUIRE(rows == h);
    const std::vector<std::uint8_t> pixels = picture.Pixels();
    for (std::size_t j = 0; j < pixels.size(); ++j) {
        unsigned sum = 0;
        for (int k = 0; k < 8; ++k)
            sum += d.At(8 * std::uint64_t{j} + static_cast<unsigned>(k)) * (128u >> k);
        FUZZ_REQUIRE(pixels[j] == static_cast<std::uint8_t>(sum));
    }
    if (d.BitsOnly() && d.size >= 8 * pixels.size() && !pixels.empty()) {
        std::vector<std::uint8_t> bits(8 * pixels.size());
        ExpandBits(pixels.data(), pixels.size(), BitOrder::PixelMajor, bits.data());
        FUZZ_REQUIRE(std::memcmp(bits.data(), d.data, bits.size()) == 0);
    }
}

void CheckPlaneMajor(const Decoded& d, ByteStream& stream, std::uint16_t w, std::uint16_t h) {
    const std::uint64_t n = std::uint64_t{w} * h;
    // As the window does it: each pass on a new picture, adding to the one on
    // show; and once more with the previous pass read from the picture itself.
    Picture a(w, h), b(w, h);
    Picture* shown = &a;
    Picture* next = &b;
    // Pass k holds the first k planes: pixel j sums byte (q−1)·n + j of each
    // plane q ≤ k by its weight.
    std::vector<std::uint8_t> expected(n, 0);
    stream.Seek(0);
    for (int pass = 1; pass <= 8; ++pass) {
        int rows = 0;
        ReconstructPass(stream, pass, w, h, next->Rows(), shown->ConstRows(), [&rows] { ++rows; });
        FUZZ_REQUIRE(rows == h);
        std::swap(shown, next);
        const std::uint64_t plane = static_cast<std::uint64_t>(pass - 1) * n;
        for (std::size_t j = 0; j < n; ++j)
            expected[j] = static_cast<std::uint8_t>(expected[j] +
                                                    d.At(plane + j) * unsigned(PassWeight(pass)));
        FUZZ_REQUIRE(shown->Pixels() == expected);
    }
    const std::vector<std::uint8_t> pixels = shown->Pixels();

    Picture inPlace(w, h);
    stream.Seek(0);
    for (int pass = 1; pass <= 8; ++pass)
        ReconstructPass(stream, pass, w, h, inPlace.Rows(), inPlace.ConstRows());
    FUZZ_REQUIRE(inPlace.Pixels() == pixels);

    if (d.BitsOnly() && d.size >= 8 * n && n > 0) {
        std::vector<std::uint8_t> bits(8 * n);
        ExpandBits(pixels.data(), pixels.size(), BitOrder::PlaneMajor, bits.data());
        FUZZ_REQUIRE(std::memcmp(bits.data(), d.data, bits.size()) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetMemoryBudget(kBudget);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kContainerHeaderSize) return 0;
    const auto width = static_cast<std::uint16_t>(data[0] | data[1] << 8);
    const auto height = static_cast<std::uint16_t>(data[2] | data[3] << 8);
    const bool planeMajor = ModeIsPlaneMajor(data[4]);
    try {
        CheckDecodeMemory(width, height, planeMajor);
    } catch (const Error&) {
        FUZZ_REQUIRE(DecodeMemoryNeed(width, height, planeMajor) > kBudget);
        return 0;
    }
    FUZZ_REQUIRE(DecodeMemoryNeed(width, height, planeMajor) <= kBudget);
    const Decoded decoded{data + kContainerHeaderSize, size - kContainerHeaderSize};
    ByteStream stream;
    if (decoded.size > 0) stream.Write(decoded.data, decoded.size);
    if (planeMajor)
        CheckPlaneMajor(decoded, stream, width, height);
    else
        CheckPixelMajor(decoded, stream, width, height);
    return 0;
}
