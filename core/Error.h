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

}  // namespace eks
