#include "core/Paths.h"

namespace eks {

std::string FileNamePart(const std::string& path) {
#ifdef _WIN32
    const auto cut = path.find_last_of("\\/:");
#else
    const auto cut = path.find_last_of(kPathSeparator);
#endif
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string UpperExtension(const std::string& path) {
    const std::string name = FileNamePart(path);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

std::string ResultsDirPath(const std::string& appDir) {
    return appDir + kPathSeparator + "wyniki";
}

}  // namespace eks
