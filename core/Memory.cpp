#include "core/Memory.h"

#include <atomic>
#include <cstdlib>
#include <limits>
#include <new>

#include "core/Error.h"

#ifdef __linux__
#include <sys/mman.h>
#endif
#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif
#ifdef _WIN32
#include <windows.h>
#endif

namespace eks {

void BlockDeleter::operator()(std::uint8_t* p) const {
    std::free(p);
}

Block AllocateBlock(std::size_t n) {
    void* p = nullptr;
#ifdef __linux__
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    if (n >= kHugePage) {
        const std::size_t rounded = (n + kHugePage - 1) / kHugePage * kHugePage;
        if (rounded < n) throw std::bad_alloc();
        p = std::aligned_alloc(kHugePage, rounded);
        if (p) ::madvise(p, rounded, MADV_HUGEPAGE);
    } else {
        p = std::malloc(n == 0 ? 1 : n);
    }
#else
    p = std::malloc(n == 0 ? 1 : n);
#endif
    if (!p) throw std::bad_alloc();
    return Block(static_cast<std::uint8_t*>(p));
}

namespace {

std::uint64_t PhysicalMemory() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (::GlobalMemoryStatusEx(&status) && status.ullTotalPhys > 0) return status.ullTotalPhys;
#elif defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
#endif
    return std::uint64_t{4} << 30;  // a modest machine when the system does not say
}

std::uint64_t& BudgetOverride() {
    static std::uint64_t bytes = 0;
    return bytes;
}

}  // namespace

std::uint64_t MemoryBudget() {
    if (BudgetOverride() != 0) return BudgetOverride();
    static const std::uint64_t byDefault = PhysicalMemory() / 8;
    return byDefault;
}

void SetMemoryBudget(std::uint64_t bytes) {
    BudgetOverride() = bytes;
}

namespace {

std::atomic<std::uint64_t> bitSequenceBudget{0};

}  // namespace

std::size_t BitSequenceBudget() {
    const std::uint64_t bytes = bitSequenceBudget.load(std::memory_order_relaxed);
    if (bytes == 0 || bytes > std::numeric_limits<std::size_t>::max())
        return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(bytes);
}

void SetBitSequenceBudget(std::uint64_t bytes) {
    bitSequenceBudget.store(bytes, std::memory_order_relaxed);
}

bool FitsMemoryBudget(std::uint64_t bytes) {
    return bytes <= MemoryBudget();
}

std::string PictureTooLargeMessage(std::uint32_t width, std::uint32_t height) {
    return "Zbyt mała ilość dopuszczalnej pamięci RAM na obraz " + std::to_string(width) + "×" +
           std::to_string(height) + " pikseli";
}

void CheckPictureMemory(std::uint64_t bytes, std::uint32_t width, std::uint32_t height) {
    if (!FitsMemoryBudget(bytes)) throw Error(PictureTooLargeMessage(width, height));
}

}  // namespace eks
