#pragma once

#include <string>

namespace eks {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The temporary files of the jobs, in the directory the coder programs run
// in, and the two programs beside the executable.
inline constexpr const char* kCoderInput = "tmp1x.dat";
inline constexpr const char* kCoderOutput = "tmp2x.dat";
inline constexpr const char* kDecoderInput = "tmp3x.dat";
inline constexpr const char* kDecoderOutput = "tmp4x.dat";
inline constexpr const char* kTempFiles[] = {kCoderInput, kCoderOutput, kDecoderInput,
                                             kDecoderOutput};
// The lock file of the window that works in the application directory.
inline constexpr const char* kWorkLockFile = "eksperymenty.lock";
// The private working folders in the system's temporary folder: a window's
// that cannot work in the application directory, and a series' workers'.
inline constexpr const char* kWindowFolderPrefix = "eksperymenty-okno-";
inline constexpr const char* kSeriesFolderPrefix = "eksperymenty-seria-";
inline constexpr const char* kCoderProgram = "arith-n.exe";
inline constexpr const char* kDecoderProgram = "earith-n.exe";

// The file name part of a path: what follows its last separator (or, on
// Windows, its drive colon).
std::string FileNamePart(const std::string& path);

// The extension of the path's file name from its last "." on, dot included,
// in ASCII upper case; empty when the file name has no dot.
std::string UpperExtension(const std::string& path);

// The results directory as the window forms it: AppDir directly followed by
// a separator and "wyniki". AppDir ends in a separator already, so the text
// holds two in a row, which the file system takes as one.
std::string ResultsDirPath(const std::string& appDir);

}  // namespace eks
