#pragma once

#include <string>

namespace eks {

// Polish texts for failed file reads and writes, naming the file and the
// cause behind the system's error code. IoCauseText is the one table of
// causes: the window's messages and those of the coder programs use it.
std::string IoCauseText(int err);
std::string ReadErrorMessage(const std::string& path, int err);
std::string WriteErrorMessage(const std::string& path, int err);

}  // namespace eks
