// CRC-32C (Castagnoli: reflected polynomial 0x82F63B78, initial value and final xor
// 0xFFFFFFFF), computed incrementally. Processors with SSE 4.2 compute it with one instruction
// per eight bytes; elsewhere tables do it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace eks::arith {

class Crc32c {
  public:
    void Update(const uint8_t* data, size_t size);
    uint32_t Value() const { return ~state_; }

    static uint32_t Of(const uint8_t* data, size_t size) {
        Crc32c crc;
        crc.Update(data, size);
        return crc.Value();
    }

    // The table-driven computation alone, whatever the processor (for tests).
    static uint32_t UpdateByTable(uint32_t state, const uint8_t* data, size_t size);

  private:
    uint32_t state_ = 0xFFFFFFFFu;
};

}  // namespace eks::arith
