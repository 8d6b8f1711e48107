#pragma once

#include <stdexcept>
#include <string>

namespace eks {

// A failure whose message is meant for the user as it stands: the window's
// error report shows what() in a message box.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The message formats of the stream and conversion layer, shown to the user
// with the path or the offending text in place of %s.
std::string CannotOpenFileMessage(const std::string& path);
std::string CannotCreateFileMessage(const std::string& path);
std::string NotValidIntegerMessage(const std::string& text);

// The text of the standard error report: the message, with a full stop
// appended when its last character sorts after "." (any letter, a digit,
// any character beyond ASCII).
std::string StandardErrorText(const std::string& message);

}  // namespace eks
