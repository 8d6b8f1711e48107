#pragma once

// The command line of eksperymenty-seria.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/BitSequence.h"
#include "jobs/SeriesRun.h"

namespace eks::seria {

inline constexpr const char* kProgramName = "eksperymenty-seria";

// A command line that cannot be run; the program says why and ends with 2.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

using eks::Shard;

struct Options {
    std::vector<std::string> images;  // as given
    std::vector<int> orders;          // ascending, each once, 1 to 9
    std::vector<BitOrder> bitOrders;  // pixel order (B) before plane order (P)
    int timeoutSeconds = 120;         // bounds each coder run
    bool check = false;               // decode each container and compare
    bool references = false;          // the CSV's reference figures of each job
    bool planeCosts = false;          // the CSV's costs of the coder's model per bit plane
    int jobs = 0;                     // parallel jobs; 0: one per core
    std::string reportPath;           // empty: no report
    std::string csvPath;              // empty: no CSV
    std::string outDir;               // empty: wyniki/ beside the program
    bool sort = false;                // images sorted by path, bytewise, before planning
    Shard shard;                      // --shard K/N
    bool merge = false;               // `images` are shards' CSVs to join
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
// An image that does not exist is a mistake of the command line, told once
// before any job: UsageError "obraz „x.pgm” nie istnieje". What exists but
// cannot be coded (a pipe, a broken header) fails its own jobs.
void CheckImagesExist(const std::vector<std::string>& images);

// The report, the CSV and the folder for the containers, checked before any
// job so that a series never runs only to fail at its end, or to write over
// one of its own images. A file must be a regular file or a new name in a
// folder that exists and can be written, not a folder, a pipe or a device,
// not one of the images (the same device and inode, however it is named),
// and the report and the CSV not one file. The folder must be a folder that
// can be written, or one that can be made. Nothing is created. Throws
// UsageError naming the path and the reason.
void CheckOutputPaths(const Options& options);

std::string HelpText();

}  // namespace eks::seria
