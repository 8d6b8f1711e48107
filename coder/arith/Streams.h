// Byte sources and sinks that the codec reads from and writes to, and the errors it raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace eks::arith {

// Reading or writing failed at the operating-system level; the message is for the user.
class IoError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A compressed stream is damaged, truncated or not ours; the message says what is wrong.
class CorruptStream : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The input changed between the encoder's two passes over it.
class InputChanged : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Reads up to `size` bytes; fewer only at the end of the data. Throws IoError.
    virtual size_t Read(uint8_t* dst, size_t size) = 0;
    // Starts again from the first byte (the encoder reads its input twice). Throws IoError.
    virtual void Rewind() = 0;
};

class ByteSink {
  public:
    virtual ~ByteSink() = default;
    // Writes all `size` bytes or throws IoError.
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
