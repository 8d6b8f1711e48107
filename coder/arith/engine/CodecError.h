// The one error type of the engine. Its message is Polish and says what is wrong with the
// stream or the call; the kind tells a program how to present it. The engine raises nothing
// else of its own (std::bad_alloc aside); what a ByteSource or ByteSink throws passes through.
#pragma once

#include <stdexcept>
#include <string>

namespace eks::arith {

class CodecError : public std::runtime_error {
  public:
    enum class Kind {
        kCorruptStream,    // damaged, truncated or not made by arith-n.exe
        kUnknownVersion,   // made by arith-n.exe, in a format version this decoder lacks
        kInputChanged,     // the encoder's input differed between its two readings
        kOrderOutOfRange,  // an order outside 0 to kMaxOrder was asked for
    };

    CodecError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

}  // namespace eks::arith
