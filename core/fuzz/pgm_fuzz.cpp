// libFuzzer target: a user's PGM file as a load reads it. The header scan must
// either accept the bytes or refuse them with one of its two messages; what it
// accepts goes on to the bit sequence that an encode builds, in both orders,
// under a small memory limit so that the refusal path is taken too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "FuzzCheck.h"
#include "core/BitSequence.h"
#include "core/Error.h"
#include "core/PgmReader.h"

namespace {

using namespace eks;

// A sequence of up to 2048 pixels fits, a longer one is refused.
constexpr std::size_t kMemoryLimit = 16 * 1024;
const char* const kPath = "fuzz.pgm";

bool IsRefusal(const std::string& message) {
    if (message == TruncatedPgmHeaderMessage(kPath)) return true;
    // "'<digits>' is not a valid integer value", the digits possibly none.
    const std::string tail = NotValidIntegerMessage("").substr(1);
    if (message.size() < tail.size() + 1 || message[0] != '\'') return false;
    if (message.compare(message.size() - tail.size(), tail.size(), tail) != 0) return false;
    for (std::size_t i = 1; i < message.size() - tail.size(); ++i)
        if (message[i] < '0' || message[i] > '9') return false;
    return true;
}

// The file loaded whole and its header scanned, as a load does; false when the
// scan refused it.
bool Load(ExperimentState& state, const std::uint8_t* data, std::size_t size) {
    state.CurrentPath = kPath;
    auto file = std::make_shared<ByteStream>();
    if (size > 0) file->Write(data, size);
    state.SourceStream = file;
    try {
        ScanPgmHeader(state);
    } catch (const Error& e) {
        FUZZ_REQUIRE(IsRefusal(e.what()));
        return false;
    }
    const std::size_t offset = static_cast<std::size_t>(state.PixelDataOffset);
    FUZZ_REQUIRE(state.PixelDataOffset > 0 && offset <= size);
    FUZZ_REQUIRE(state.SourceStream->Size() == size);
    FUZZ_REQUIRE(size == 0 || std::memcmp(state.SourceStream->Data(), data, size) == 0);
    FUZZ_REQUIRE(state.Item.ResultWidth == state.ImageWidth);
    FUZZ_REQUIRE(state.Item.ResultHeight == state.ImageHeight);
    return true;
}

// Bit k of pixel j as the sequence holds it.
std::uint8_t BitOf(const ByteStream& bits, BitOrder order, std::size_t n, std::size_t j, int p) {
    return order == BitOrder::PixelMajor ? bits.Data()[8 * j + static_cast<std::size_t>(7 - p)]
                                         : bits.Data()[static_cast<std::size_t>(7 - p) * n + j];
}

void CheckBitSequence(const std::uint8_t* data, std::size_t size, BitOrder order) {
    ExperimentState state;
    if (!Load(state, data, size)) return;
    const std::size_t offset = static_cast<std::size_t>(state.PixelDataOffset);
    const std::size_t n = size - offset;
    const std::uint16_t width = state.ImageWidth, height = state.ImageHeight;

    std::optional<ByteStream> bits =
        ExpandBitSequence(*state.SourceStream, offset, order, kMemoryLimit);
    if (n > kMemoryLimit / 8) {
        // Refused: nothing half-built.
        FUZZ_REQUIRE(!bits);
        return;
    }
    FUZZ_REQUIRE(bits.has_value());
    FUZZ_REQUIRE(bits->Size() == 8 * n);
    FUZZ_REQUIRE(bits->Position() == bits->Size());
    FUZZ_REQUIRE(state.SourceStream->Size() == size);
    FUZZ_REQUIRE(state.ImageWidth == width && state.ImageHeight == height);
    for (std::size_t i = 0; i < bits->Size(); ++i)
        FUZZ_REQUIRE(bits->Data()[i] <= 1);
    // Every pixel byte is there, bit for bit, where its order puts it.
    for (std::size_t j = 0; j < n; ++j) {
        unsigned pixel = 0;
        for (int p = 0; p < 8; ++p)
            pixel |= static_cast<unsigned>(BitOf(*bits, order, n, j, p)) << p;
        FUZZ_REQUIRE(pixel == data[offset + j]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CheckBitSequence(data, size, BitOrder::PixelMajor);
    CheckBitSequence(data, size, BitOrder::PlaneMajor);
    return 0;
}
