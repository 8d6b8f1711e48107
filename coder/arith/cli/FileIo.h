// Files for the two programs: an input read in blocks, and an output that appears whole or
// not at all, over the workbench's own file layer (core/Files).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "coder/arith/engine/Streams.h"
#include "core/Files.h"

namespace eks::arith {

// The one error type of the program library: a file could not be opened, read, written or
// put in place. The message is for the user; it names the file and the cause.
class FileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An input file: only a regular file is opened (a pipe is not waited for), and reads end
// at the size the file had when it was opened.
class FileSource final : public ByteSource {
  public:
    // Opens `path` for reading. FileSource and OutputFile throw FileError.
    explicit FileSource(std::string path);

    size_t Read(uint8_t* dst, size_t size) override;
    void Rewind() override;
    uint64_t BytesRead() const { return bytes_read_; }

  private:
    std::string path_;
    InputFile file_;
    uint64_t bytes_read_ = 0;
};

// The output, saved as the workbench saves its files (SafeSave): it appears whole in Commit
// or not at all, replaces only a regular file the user may write (following links, keeping
// the replaced file's mode), and refuses folders, devices and pipes before anything is
// coded. Where the file system has no unnamed files, the temporary file is removed also when
// the process is ended by SIGINT, SIGTERM or SIGHUP; on Windows the system removes it however
// the process ends, and Ctrl-C waits for a commit under way.
class OutputFile final : public ByteSink {
  public:
    explicit OutputFile(std::string path);
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(const uint8_t* src, size_t size) override;
    void Commit();
    uint64_t BytesWritten() const { return save_->BytesWritten(); }

  private:
    [[noreturn]] void Fail(const SafeSave::Failure& failure);

    std::string path_;
    std::unique_ptr<SafeSave> save_;
};

}  // namespace eks::arith
