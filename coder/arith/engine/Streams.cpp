#include "coder/arith/engine/Streams.h"

#include <algorithm>

namespace eks::arith {

size_t MemorySource::Read(uint8_t* dst, size_t size) {
    const size_t n = std::min(size, data_.size() - pos_);
    std::copy_n(data_.data() + pos_, n, dst);
    pos_ += n;
    return n;
}

}  // namespace eks::arith
