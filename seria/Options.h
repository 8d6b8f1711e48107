#pragma once

// The command line of eksperymenty-seria.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/BitSequence.h"

namespace eks::seria {

inline constexpr const char* kProgramName = "eksperymenty-seria";

// A command line that cannot be run; the program says why and ends with 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Options {
    std::vector<std::string> images;  // as given
    std::vector<int> orders;          // ascending, each once, 1 to 9
    std::vector<BitOrder> bitOrders;  // pixel order (B) before plane order (P)
    int timeoutSeconds = 120;         // bounds each coder run
    bool check = false;               // decode each container and compare
    int jobs = 0;                     // parallel jobs; 0: one per core
    std::string reportPath;           // empty: no report
    std::string csvPath;              // empty: no CSV
    std::string outDir;               // empty: wyniki/ beside the program
    bool help = false;
};

// The arguments after the program's name. Options and images may come in any
// order; "--" ends the options. Throws UsageError.
Options ParseOptions(const std::vector<std::string>& args);

// "1-9", "3,5,9", "1-3,7": the orders in ascending order, each once.
std::vector<int> ParseOrders(std::string_view text);
// "B", "P", "BP" (or "PB"): always pixel order first.
std::vector<BitOrder> ParseBitOrders(std::string_view text);

// Two images whose containers would bear the same names (the same name up to
// the first "." from two folders, or one image given twice) would overwrite
// each other's containers: UsageError naming both.
void CheckContainerNames(const std::vector<std::string>& images);

std::string HelpText();

}  // namespace eks::seria
