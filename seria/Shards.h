#pragma once

// A series spread over many runs: the plan's fingerprint, the jobs of one
// shard, and the merge of the shards' CSVs into what one run would have
// written.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/SeriesRun.h"
#include "results/CsvReader.h"
#include "results/ResultRow.h"
#include "seria/Options.h"

namespace eks::seria {

// The plan's fingerprint as the CSV's column "plan": 16 hexadecimal digits
// of a hash of the images as planned (their paths in order), the orders, the
// bit orders and --check, then "-" and the number of jobs: "3fa2c9e01b7d44a2-108".
std::string PlanFingerprint(const Options& options, std::size_t jobs);

// The shards' CSVs of one plan joined into what one run of the plan writes.
// The pieces are read row by row, never whole: what is kept of them does not
// grow with their size.
class ShardMerge {
  public:
    // Receives the merged CSV a line at a time, each with its line end: the
    // header line (no record), then each job's line in plan order, without
    // the shard columns, with the job's record for the report.
    using Sink = std::function<void(std::string_view line, const ResultRecord* record)>;

    // Reads and checks the pieces; those with rows stay open for Write.
    // Throws UsageError naming the files for pieces of different plans or
    // columns, a shard missing or given twice, a job missing (also one cut
    // off a piece's end), given twice or out of its shard's order, a file
    // that is not a shard's CSV, and pieces without a single row, which do
    // not tell the plan. Throws Error for a piece that cannot be opened or
    // read.
    explicit ShardMerge(const std::vector<std::string>& paths);
    ~ShardMerge();
    ShardMerge(const ShardMerge&) = delete;
    ShardMerge& operator=(const ShardMerge&) = delete;

    // Reads the pieces again, a job at a time, into `out`. Bytes that are
    // not UTF-8 come out as U+FFFD, as CsvLine writes them. Throws Error when
    // a piece cannot be read or no longer holds what was checked.
    void Write(const Sink& out);

  private:
    std::string header_;      // the header without the shard columns
    std::size_t fields_ = 0;  // in every line
    std::string plan_;
    int shards_ = 0;  // N
    std::size_t jobs_ = 0;
    std::vector<std::unique_ptr<CsvReader>> pieces_;  // shard K: pieces_[K - 1]
};

}  // namespace eks::seria
