#include "core/Error.h"

namespace eks {

std::string CannotOpenFileMessage(const std::string& path) {
    return "Cannot open file " + path;
}

std::string CannotCreateFileMessage(const std::string& path) {
    return "Cannot create file " + path;
}

std::string StandardErrorText(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + '.';
    return message;
}

std::string NotValidIntegerMessage(const std::string& text) {
    return "'" + text + "' is not a valid integer value";
}

}  // namespace eks
