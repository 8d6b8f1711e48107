#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace eks {

struct BlockDeleter {
    void operator()(std::uint8_t* p) const;
};
using Block = std::unique_ptr<std::uint8_t, BlockDeleter>;

// A block of n uninitialised bytes; throws std::bad_alloc when it cannot be
// had. Large blocks ask the system for huge pages where it offers them: a
// bit sequence of 128 MiB then costs a few dozen page faults instead of tens
// of thousands, which on a virtual machine is most of the build's time.
Block AllocateBlock(std::size_t n);

}  // namespace eks
