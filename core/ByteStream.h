#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/Files.h"
#include "core/Memory.h"

namespace eks {

// A growable in-memory byte stream with one read/write position, the store of
// the loaded PGM file, the container, the bit sequence and the decoder output.
//
// Reads stop at the end of the data and report how much they delivered.
// Writes at or beyond the end extend the stream; a gap between the old end
// and the position is filled with zeros. Allocation failure surfaces as
// std::bad_alloc, with the stream unchanged.
class ByteStream {
  public:
    ByteStream() = default;
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;
    ByteStream(ByteStream&& other) noexcept;
    ByteStream& operator=(ByteStream&& other) noexcept;
    ~ByteStream() = default;

    std::size_t Size() const { return size_; }
    std::size_t Position() const { return pos_; }
    void Seek(std::size_t pos) { pos_ = pos; }
    std::size_t Remaining() const { return pos_ < size_ ? size_ - pos_ : 0; }

    // Changes the size; new bytes are zero. The position is kept unless it
    // would lie beyond the new end, in which case it moves to the end.
    void SetSize(std::size_t size);
    // Changes the size without clearing new bytes: the caller overwrites all
    // of them. Used where the content is produced in one pass right after.
    void SetSizeForOverwrite(std::size_t size);
    // Size 0, position 0, memory given back.
    void Clear();

    // Copies up to n bytes from the position on; returns how many were read.
    std::size_t Read(void* dst, std::size_t n);
    // Reads one byte; false at the end of the data (nothing is read then).
    bool ReadByte(std::uint8_t& b);
    void Write(const void* src, std::size_t n);
    void WriteByte(std::uint8_t b) { Write(&b, 1); }

    const std::uint8_t* Data() const { return data_.get(); }
    std::uint8_t* Data() { return data_.get(); }

    // Replaces the content with the file, up to `limit` bytes and never
    // beyond the size it had when opened, and sets the position to 0. Throws
    // Error "Cannot open file <path>" when the file cannot be opened, and a
    // Polish text when the name is not a regular file (which is never opened,
    // so a pipe does not hang the caller); the stream keeps its former
    // content on every failure.
    void LoadFromFile(const std::string& path, std::uint64_t limit = UINT64_MAX);
    // The same for a file the user chose (an image, a container): one larger
    // than the memory budget is refused from its size at opening, before
    // anything is read (FileTooLargeMessage).
    void LoadUserFile(const std::string& path);
    // Writes the whole content to the file, replacing it, as WriteWholeFile.
    void SaveToFile(const std::string& path, SafeSave::Links links = SafeSave::Links::Follow) const;

  private:
    void Reserve(std::size_t capacity);
    void LoadOpened(const std::string& path, std::uint64_t limit, bool budget);

    Block data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t pos_ = 0;
};

// Writes bytes to a file, replacing it, as SafeSave (core/Files) does: the
// file appears complete or not at all, and only where the user could have
// written in place. Throws Error "Cannot create file <path>" (the path as
// given) when the file is refused or cannot be created, and a Polish write
// error when writing fails. No temporary file is left behind on any failure.
void WriteWholeFile(const std::string& path, const void* data, std::size_t size,
                    SafeSave::Links links = SafeSave::Links::Follow);

// The text of a save of `path` that failed: "Cannot create file <path>" when
// the file was refused or not made, a Polish write error naming the cause
// when the bytes could not be written or put in place.
std::string SaveFailureMessage(const std::string& path, const SafeSave::Failure& failure);

// "Plik <path> ma <size> bajtów, więcej niż dopuszczalne <budget> bajtów
// pamięci - nie został wczytany".
std::string FileTooLargeMessage(const std::string& path, std::uint64_t size);

}  // namespace eks
