#include "core/Memory.h"

#include <cstdlib>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
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

}  // namespace eks
