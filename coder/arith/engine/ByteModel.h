// The model of the general path: every input byte is eight binary decisions, high bit first.
//
// A decision's context is the previous N bytes together with the bits of the current byte
// seen so far (a node from 1 to 255). Orders 0 and 1 index their tables directly; higher
// orders hash the previous N bytes into a table whose size grows with the input (up to 2^22
// entries) so that short inputs stay cheap. Each entry holds a 22-bit probability and a
// 10-bit count; the rate of adaptation falls as 1/(n+2) down to a floor.
//
// Its constants (the table sizes and count limits in ByteModel.cpp, the hash multipliers) are
// part of the format of version 2, as the bit model's parameters are (BitModel.h): changing
// one is a new format version.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace eks::arith {

class ByteModel {
  public:
    // Throws CodecError when the order is out of range.
    ByteModel(int order, uint64_t length);

    // P(next bit == 1), 16 bits, in [1, 65535].
    uint32_t Predict() {
        slot_ = Index();
        const uint32_t p = table_[slot_] >> 16;
        return p == 0 ? 1 : p;
    }

    void Update(int bit) {
        uint32_t& e = table_[slot_];
        const uint32_t n = e & 1023u;
        int64_t p = e >> 10;
        const int64_t target = bit ? (1 << 22) - 1 : 0;
        p += ((target - p) * recip_[n]) >> 16;
        e = (static_cast<uint32_t>(p) << 10) | (n < limit_ ? n + 1 : n);
        node_ = (node_ << 1) | static_cast<uint32_t>(bit);
        if (node_ >= 256) EndByte(static_cast<uint8_t>(node_));
    }

  private:
    uint32_t Index() const {
        if (order_ == 0) return node_;
        if (order_ == 1) return (static_cast<uint32_t>(history_[0]) << 8) | node_;
        return (base_ + node_ * 0x9E3779B1u) >> shift_;
    }
    void EndByte(uint8_t byte);

    int order_;
    uint32_t limit_;
    int shift_ = 0;
    uint32_t node_ = 1;
    uint32_t slot_ = 0;
    uint32_t base_ = 0;
    std::array<uint8_t, 16> history_{};  // history_[0] is the latest byte
    std::array<uint32_t, 1024> recip_{};
    std::vector<uint32_t> table_;
};

}  // namespace eks::arith
