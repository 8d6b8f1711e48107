#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

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

// The memory budget for what a user's file makes us allocate: pictures and
// their row buffers. A 20-byte header may ask for 65535 × 65535 pixels; with
// the system's overcommit such a block is often granted and the process is
// killed later, when the pages are touched. So every such allocation is
// checked against the budget first. By default the budget is an eighth of
// the machine's physical memory; tests set a small one.
std::uint64_t MemoryBudget();
// Sets the budget in bytes; 0 goes back to the default.
void SetMemoryBudget(std::uint64_t bytes);
bool FitsMemoryBudget(std::uint64_t bytes);

// The most bytes a bit sequence may take: by default as many as the system
// gives (the sequence is 8 bytes a pixel byte, and its build fails cleanly
// when they cannot be had). Tests set a small one to have a step run out of
// memory; 0 goes back to the default.
std::size_t BitSequenceBudget();
void SetBitSequenceBudget(std::uint64_t bytes);

// The text shown when a picture of width × height pixels cannot be made.
std::string PictureTooLargeMessage(std::uint32_t width, std::uint32_t height);

// Throws Error(PictureTooLargeMessage(width, height)) when `bytes` exceed the
// budget.
void CheckPictureMemory(std::uint64_t bytes, std::uint32_t width, std::uint32_t height);

}  // namespace eks
