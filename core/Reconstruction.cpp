#include "core/Reconstruction.h"

#include <cstring>
#include <vector>

#include "core/Memory.h"

namespace eks {

namespace {

// Reads up to n bytes into buf; what the stream no longer holds reads as 0.
void ReadRow(ByteStream& decoded, std::uint8_t* buf, std::size_t n) {
    const std::size_t got = decoded.Read(buf, n);
    if (got < n) std::memset(buf + got, 0, n - got);
}

}  // namespace

std::uint64_t DecodeMemoryNeed(std::uint16_t width, std::uint16_t height, bool planeMajor) {
    const std::uint64_t picture = PictureBytes(width, height);
    const std::uint64_t rowBuffer = planeMajor ? width : 8 * std::uint64_t{width};
    return (planeMajor ? 2 * picture : picture) + rowBuffer;
}

void CheckDecodeMemory(std::uint16_t width, std::uint16_t height, bool planeMajor) {
    CheckPictureMemory(DecodeMemoryNeed(width, height, planeMajor), width, height);
}

std::string PassTitle(int pass) {
    return "pasaż " + std::to_string(pass);
}

void ReconstructPixelMajor(ByteStream& decoded, std::uint16_t width, std::uint16_t height,
                           const RowOf& image, const RowDone& rowDone) {
    decoded.Seek(0);
    CheckPictureMemory(8 * std::uint64_t{width}, width, height);
    std::vector<std::uint8_t> buf(8 * static_cast<std::size_t>(width));
    for (int r = 0; r < height; ++r) {
        ReadRow(decoded, buf.data(), buf.size());
        std::uint8_t* row = image(r);
        for (std::size_t i = 0; i < width; ++i) {
            const std::uint8_t* b = &buf[8 * i];
            unsigned pixel = 0;
            for (int k = 0; k < 8; ++k)
                pixel += b[k] * (128u >> k);
            row[i] = static_cast<std::uint8_t>(pixel);
        }
        if (rowDone) rowDone();
    }
}

void ReconstructPass(ByteStream& decoded, int pass, std::uint16_t width, std::uint16_t height,
                     const RowOf& image, const ConstRowOf& previous, const RowDone& rowDone) {
    const unsigned weight = static_cast<unsigned>(PassWeight(pass));
    CheckPictureMemory(width, width, height);
    std::vector<std::uint8_t> buf(width);
    for (int r = 0; r < height; ++r) {
        ReadRow(decoded, buf.data(), buf.size());
        std::uint8_t* row = image(r);
        if (pass == 1) {
            for (std::size_t i = 0; i < width; ++i)
                row[i] = static_cast<std::uint8_t>(buf[i] * weight);
        } else {
            const std::uint8_t* prev = previous(r);
            for (std::size_t i = 0; i < width; ++i)
                row[i] = static_cast<std::uint8_t>(buf[i] * weight + prev[i]);
        }
        if (rowDone) rowDone();
    }
}

}  // namespace eks
