// Byte sources and sinks that the codec reads from and writes to. The engine knows only
// these interfaces and the memory forms below; files are the programs' business. What an
// implementation throws when its reading or writing fails passes through the codec as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace eks::arith {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes; fewer only at the end of the data.
    virtual size_t Read(uint8_t* dst, size_t size) = 0;
    // Starts again from the first byte (the encoder reads its input twice).
    virtual void Rewind() = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes all `size` bytes or throws.
    virtual void Write(const uint8_t* src, size_t size) = 0;
};

class MemorySource final : public ByteSource {
  public:
    explicit MemorySource(std::span<const uint8_t> data) : data_(data) {}
    size_t Read(uint8_t* dst, size_t size) override;
    void Rewind() override { pos_ = 0; }

  private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

class MemorySink final : public ByteSink {
  public:
    void Write(const uint8_t* src, size_t size) override {
        data_.insert(data_.end(), src, src + size);
    }
    std::vector<uint8_t>& Data() { return data_; }

  private:
    std::vector<uint8_t> data_;
};

}  // namespace eks::arith
