// The command lines of "arith-n.exe" (compress) and "earith-n.exe" (restore).
//
//   arith-n.exe INPUT OUTPUT [-o N]     earith-n.exe INPUT OUTPUT [-o N]
//
// N is the order, 0 to 15, 0 when -o is absent. The decoder always uses the order recorded
// in the stream and only warns when -o names another. Exit status: 0 success, 1 a file could
// not be read or written or the compressed input is corrupt or of an unknown format version,
// 2 wrong arguments.
//
// This is the program library: the command line, the files (FileIo.h), the messages. The
// coding itself is the engine's (coder/arith/engine), which knows nothing of files.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace eks::arith {

enum ExitCode : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

struct CliArgs {
    std::string input;
    std::string output;
    int order = 0;
    bool order_given = false;
};

// Returns nothing when the arguments are wrong.
std::optional<CliArgs> ParseCliArgs(const std::vector<std::string>& args);

// `summary` receives the one-line summary; pass nullptr for none.
int RunCompressor(const std::vector<std::string>& args, std::ostream& err, std::ostream* summary);
int RunDecompressor(const std::vector<std::string>& args, std::ostream& err, std::ostream* summary);

// The mains: the summary goes to standard output only when that is a terminal. File names
// are UTF-8; on Windows the programs take their arguments wide (wmain) and give them here.
int CompressorMain(int argc, char** argv);
int DecompressorMain(int argc, char** argv);
#ifdef _WIN32
int CompressorMain(int argc, wchar_t** argv);
int DecompressorMain(int argc, wchar_t** argv);
#endif

}  // namespace eks::arith
