#include "core/ByteStream.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#include "core/Error.h"
#include "core/Files.h"
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

std::string FileTooLargeMessage(const std::string& path, std::uint64_t size) {
    return "Plik " + path + " ma " + std::to_string(size) + " bajtów, więcej niż dopuszczalne " +
           std::to_string(MemoryBudget()) + " bajtów pamięci - nie został wczytany";
}

void ByteStream::LoadFromFile(const std::string& path, std::uint64_t limit) {
    LoadOpened(path, limit, false);
}

void ByteStream::LoadUserFile(const std::string& path) {
    LoadOpened(path, UINT64_MAX, true);
}

void ByteStream::LoadOpened(const std::string& path, std::uint64_t limit, bool budget) {
    InputFile file;
    if (const auto status = file.Open(path); status != InputFile::Status::Open)
        throw Error(OpenFailureMessage(status, path));
    if (budget && !FitsMemoryBudget(file.Size()))
        throw Error(FileTooLargeMessage(path, file.Size()));
    ByteStream loaded;
    const std::uint64_t size = file.Size() < limit ? file.Size() : limit;
    if (size > SIZE_MAX) throw std::bad_alloc();
    loaded.Reserve(static_cast<std::size_t>(size));
    while (loaded.size_ < size) {
        const std::uint64_t want = size - loaded.size_;
        const long long got =
            file.Read(loaded.data_.get() + loaded.size_,
                      want < (std::uint64_t{1} << 24) ? static_cast<std::size_t>(want) : 1u << 24);
        if (got < 0) throw Error(ReadErrorMessage(path, file.ErrorCode()));
        if (got == 0) break;  // the file has shrunk since it was opened
        loaded.size_ += static_cast<std::size_t>(got);
    }
    *this = std::move(loaded);
}

void ByteStream::SaveToFile(const std::string& path, SafeSave::Links links) const {
    WriteWholeFile(path, data_.get(), size_, links);
}

std::string SaveFailureMessage(const std::string& path, const SafeSave::Failure& failure) {
    return failure.stage == SafeSave::Stage::Write ? WriteErrorMessage(path, failure.error)
                                                   : CannotCreateFileMessage(path);
}

void WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                    SafeSave::Links links) {
    try {
        SafeSave save(path, links);
        save.Write(data, size);
        save.Commit();
    } catch (const SafeSave::Failure& failure) {
        throw Error(SaveFailureMessage(path, failure));
    }
}

}  // namespace eks
