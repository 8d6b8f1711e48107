#pragma once

#include <string>

namespace eks {

// Polish texts for failed file reads and writes, naming the file and the
// cause behind the system's error code.
std::string IoCauseText(int err);
std::string ReadErrorMessage(const std::string& path, int err);
std::string WriteErrorMessage(const std::string& path, int err);

}  // namespace eks
