#pragma once

// A series spread over many runs: the plan's fingerprint, the jobs of one
// shard, and the merge of the shards' CSVs into what one run would have
// written.

#include <cstddef>
#include <string>
#include <vector>

#include "jobs/Series.h"
#include "results/ResultRow.h"
#include "seria/Options.h"

namespace eks::seria {

// The plan's fingerprint as the CSV's column "plan": 16 hexadecimal digits
// of a hash of the images as planned (their paths in order), the orders, the
// bit orders and --check, then "-" and the number of jobs: "3fa2c9e01b7d44a2-108".
std::string PlanFingerprint(const Options& options, std::size_t jobs);

// The indices (from 0) of the steps of shard K of N: the jobs K, K+N, K+2N …
// numbered from 1.
std::vector<std::size_t> ShardSteps(std::size_t steps, const Shard& shard);

// ",job,shard,plan" and the values of one job: ",7,2/3,3fa2c9e01b7d44a2-108".
inline constexpr const char* kShardColumns = ",job,shard,plan";
std::string ShardValues(std::size_t job, const Shard& shard, const std::string& plan);

// One shard's CSV as read from a file.
struct ShardCsv {
    std::string path;
    std::string text;
};

// What a merge writes: the CSV of one run of the plan (rows in plan order,
// without the shard columns) and the records its report is made from.
struct Merged {
    std::string csv;
    std::vector<ResultRecord> records;
};

// Joins the shards' CSVs. Throws UsageError naming the files for pieces of
// different plans or columns, a shard missing or given twice, a job missing
// or twice, and a file that is not a shard's CSV.
Merged MergeShards(const std::vector<ShardCsv>& pieces);

}  // namespace eks::seria
