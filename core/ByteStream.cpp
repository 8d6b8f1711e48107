#include "core/ByteStream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <utility>

#include "core/Error.h"
#include "core/IoText.h"

namespace eks {

ByteStream::ByteStream(ByteStream&& other) noexcept
    : data_(std::move(other.data_)),
      size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      pos_(std::exchange(other.pos_, 0)) {}

ByteStream& ByteStream::operator=(ByteStream&& other) noexcept {
    if (this != &other) {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        pos_ = std::exchange(other.pos_, 0);
    }
    return *this;
}

void ByteStream::Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    // Grow geometrically so that byte-by-byte writes stay linear overall.
    std::size_t grown = capacity_ + capacity_ / 2;
    if (grown < capacity) grown = capacity;
    Block fresh = AllocateBlock(grown);
    if (size_ > 0) std::memcpy(fresh.get(), data_.get(), size_);
    data_ = std::move(fresh);
    capacity_ = grown;
}

void ByteStream::SetSizeForOverwrite(std::size_t size) {
    if (size > capacity_) {
        // An exact allocation: the caller knows the final size.
        Block fresh = AllocateBlock(size);
        if (size_ > 0) std::memcpy(fresh.get(), data_.get(), size_);
        data_ = std::move(fresh);
        capacity_ = size;
    }
    size_ = size;
    if (pos_ > size_) pos_ = size_;
}

void ByteStream::SetSize(std::size_t size) {
    const std::size_t old = size_;
    SetSizeForOverwrite(size);
    if (size > old) std::memset(data_.get() + old, 0, size - old);
}

void ByteStream::Clear() {
    data_.reset();
    size_ = capacity_ = pos_ = 0;
}

std::size_t ByteStream::Read(void* dst, std::size_t n) {
    const std::size_t count = n < Remaining() ? n : Remaining();
    if (count > 0) std::memcpy(dst, data_.get() + pos_, count);
    pos_ += count;
    return count;
}

bool ByteStream::ReadByte(std::uint8_t& b) {
    if (pos_ >= size_) return false;
    b = data_.get()[pos_++];
    return true;
}

void ByteStream::Write(const void* src, std::size_t n) {
    if (n == 0) return;
    const std::size_t end = pos_ + n;
    if (end > capacity_) Reserve(end);
    if (pos_ > size_) std::memset(data_.get() + size_, 0, pos_ - size_);
    std::memcpy(data_.get() + pos_, src, n);
    pos_ = end;
    if (end > size_) size_ = end;
}

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void ByteStream::LoadFromFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw Error(CannotOpenFileMessage(path));
    FilePtr file(std::fopen(path.c_str(), "rb"));
    if (!file) throw Error(CannotOpenFileMessage(path));

    ByteStream loaded;
    const auto expected = std::filesystem::file_size(path, ec);
    if (!ec) loaded.Reserve(static_cast<std::size_t>(expected) + 1);
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        loaded.Write(chunk, got);
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get())) throw Error(ReadErrorMessage(path, errno));
    loaded.pos_ = 0;
    *this = std::move(loaded);
}

void ByteStream::SaveToFile(const std::string& path) const {
    WriteWholeFile(path, data_.get(), size_);
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw Error(CannotCreateFileMessage(path));

    std::random_device rd;
    const std::string temp = path + ".~" + std::to_string(rd() % 1000000u) + ".tmp";
    FilePtr file(std::fopen(temp.c_str(), "wb"));
    if (!file) throw Error(CannotCreateFileMessage(path));

    bool ok = size == 0 || std::fwrite(data, 1, size, file.get()) == size;
    int err = ok ? 0 : errno;
    if (ok && std::fflush(file.get()) != 0) {
        ok = false;
        err = errno;
    }
    if (std::fclose(file.release()) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        fs::remove(temp, ec);
        throw Error(WriteErrorMessage(path, err));
    }
    fs::rename(temp, path, ec);
    if (ec) {
        fs::remove(temp, ec);
        throw Error(CannotCreateFileMessage(path));
    }
}

}  // namespace eks
