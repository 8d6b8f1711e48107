// libFuzzer target: a user's container file as a decode reads its header. Each
// input is written to a file of its own folder and read back through the header
// reader: a file shorter than the header is refused and changes nothing, any
// other yields the header's values and leaves the stream at the payload.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "FuzzCheck.h"
#include "core/Container.h"
#include "core/Error.h"

namespace {

using namespace eks;

std::string g_dir;
std::string g_path;

void RemoveDir() {
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
}

void WriteInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(g_path.c_str(), "wb");
    FUZZ_REQUIRE(f != nullptr);
    FUZZ_REQUIRE(size == 0 || std::fwrite(data, 1, size, f) == size);
    FUZZ_REQUIRE(std::fclose(f) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "eks-container-fuzz-XXXXXX").string();
    FUZZ_REQUIRE(::mkdtemp(pattern.data()) != nullptr);
    g_dir = pattern;
    g_path = g_dir + "/fuzz.ybq";
    std::atexit(RemoveDir);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    WriteInput(data, size);
    // What a decode does with a container file: load it, parse its header,
    // apply the header to the state.
    ByteStream file;
    file.LoadFromFile(g_path);
    FUZZ_REQUIRE(file.Size() == size && (size == 0 || std::memcmp(file.Data(), data, size) == 0));
    ContainerHeader header;
    try {
        header = ParseContainerHeader(file, g_path);
    } catch (const Error& e) {
        FUZZ_REQUIRE(size < kContainerHeaderSize);
        FUZZ_REQUIRE(std::string(e.what()) == ShortContainerMessage(g_path));
        return 0;
    }
    FUZZ_REQUIRE(size >= kContainerHeaderSize);
    ExperimentState state;
    ApplyContainerHeader(state, header, static_cast<std::int64_t>(file.Size()));
    FUZZ_REQUIRE(state.ImageWidth == (data[0] | data[1] << 8));
    FUZZ_REQUIRE(state.ImageHeight == (data[2] | data[3] << 8));
    FUZZ_REQUIRE(header.mode == data[4]);
    FUZZ_REQUIRE(state.Item.SizeBefore == static_cast<std::int64_t>(size));
    FUZZ_REQUIRE(state.Item.ResultWidth == state.ImageWidth);
    FUZZ_REQUIRE(state.Item.ResultHeight == state.ImageHeight);
    FUZZ_REQUIRE(state.Item.ResultOrder == (data[4] & 15));
    FUZZ_REQUIRE(state.Item.OpCode == 'D');
    return 0;
}
