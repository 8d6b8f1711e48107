// Files for the two programs: an input read in blocks, and an output that appears whole or
// not at all.
#pragma once

#include <stdexcept>
#include <string>

#include "coder/arith/engine/Streams.h"

namespace eks::arith {

// The one error type of the program library: a file could not be opened, read, written or
// put in place. The message is for the user; it names the file and the cause.
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class FileSource final : public ByteSource {
  public:
    // Opens `path` for reading. FileSource and AtomicFileSink throw FileError.
    explicit FileSource(std::string path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    size_t Read(uint8_t* dst, size_t size) override;
    void Rewind() override;
    uint64_t BytesRead() const { return bytes_read_; }

  private:
    std::string path_;
    int fd_ = -1;
    uint64_t bytes_read_ = 0;
};

// Writes into a temporary file beside `path` (same directory, a name starting with a dot)
// and renames it onto `path` only in Commit, after the data has been written out. Until then
// nothing exists under `path`, and an existing file there is left as it was. The temporary
// file is removed if the object is destroyed without a successful Commit, and also when the
// process is ended by SIGINT, SIGTERM or SIGHUP.
class AtomicFileSink final : public ByteSink {
  public:
    explicit AtomicFileSink(std::string path);
    ~AtomicFileSink() override;
    AtomicFileSink(const AtomicFileSink&) = delete;
    AtomicFileSink& operator=(const AtomicFileSink&) = delete;

    void Write(const uint8_t* src, size_t size) override;
    void Commit();
    uint64_t BytesWritten() const { return bytes_written_; }
    const std::string& TempPath() const { return temp_path_; }

  private:
    void Discard();

    std::string path_;
    std::string temp_path_;
    int fd_ = -1;
    bool committed_ = false;
    uint64_t bytes_written_ = 0;
};

}  // namespace eks::arith
