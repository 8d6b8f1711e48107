#include "coder/arith/engine/ByteModel.h"

#include <algorithm>

#include "coder/arith/engine/StreamFormat.h"

namespace eks::arith {

ByteModel::ByteModel(int order, uint64_t length) : order_(order) {
    CheckOrder(order);  // the history holds at most 16 bytes
    int bits;
    if (order == 0) {
        bits = 8;
        limit_ = 1023;
    } else if (order == 1) {
        bits = 16;
        limit_ = 255;
    } else {
        // About four table entries per input byte, between 2^16 and 2^22 entries.
        bits = 16;
        while (bits < 22 && (uint64_t{1} << (bits - 2)) < length)
            ++bits;
        shift_ = 32 - bits;
        limit_ = 127;
    }
    table_.assign(size_t{1} << bits, (1u << 31) | 0u);
    for (uint32_t n = 0; n < recip_.size(); ++n)
        recip_[n] = 65536u / (n + 2u);
    EndByte(0);  // the base for the zeros before the start
    node_ = 1;
}

void ByteModel::EndByte(uint8_t byte) {
    node_ = 1;
    if (order_ == 0) return;
    std::copy_backward(history_.begin(), history_.end() - 1, history_.end());
    history_[0] = byte;
    if (order_ >= 2) {
        uint32_t h = 0x811C9DC5u;
        for (int i = 0; i < order_; ++i)
            h = (h ^ history_[static_cast<size_t>(i)]) * 0x01000193u;
        base_ = h * 0x2545F491u;
    }
}

}  // namespace eks::arith
