// CRC-32 (the polynomial of zlib, PNG and Ethernet: reflected 0xEDB88320, initial value and
// final xor 0xFFFFFFFF), computed incrementally.
#pragma once

#include <cstddef>
#include <cstdint>

namespace eks::arith {

class Crc32 {
  public:
    void Update(const uint8_t* data, size_t size);
    uint32_t Value() const { return ~state_; }

    static uint32_t Of(const uint8_t* data, size_t size) {
        Crc32 crc;
        crc.Update(data, size);
        return crc.Value();
    }

  private:
    uint32_t state_ = 0xFFFFFFFFu;
};

}  // namespace eks::arith
