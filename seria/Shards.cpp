#include "seria/Shards.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string_view>

#include "core/Paths.h"
#include "results/Csv.h"

namespace eks::seria {

namespace {

// FNV-1a, 64 bits: enough to tell plans apart, the same on every host.
std::uint64_t Fnv1a(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

std::optional<std::uint64_t> Number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "K/N" as written by ShardValues.
std::optional<Shard> ShardOf(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto k = Number(text.substr(0, slash)), n = Number(text.substr(slash + 1));
    if (!k || !n || *k < 1 || *k > *n || *n > 1000000) return std::nullopt;
    return Shard{static_cast<int>(*k), static_cast<int>(*n)};
}

// One line of a CSV file: its text without the line end, and its fields.
struct CsvRow {
    std::string_view text;
    std::vector<std::string> fields;
};

// The rows of a CSV text as CsvLine writes them: fields in double quotes may
// hold commas, doubled quotes and line breaks. False when a quote is left
// open.
bool ReadCsv(std::string_view text, std::vector<CsvRow>& rows) {
    std::size_t i = 0;
    while (i < text.size()) {
        CsvRow row;
        const std::size_t start = i;
        std::string field;
        for (;;) {
            if (i < text.size() && text[i] == '"') {
                for (++i;; ++i) {
                    if (i >= text.size()) return false;
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            ++i;
                        } else {
                            ++i;
                            break;
                        }
                    } else {
                        field += text[i];
                    }
                }
            }
            while (i < text.size() && text[i] != ',' && text[i] != '\n')
                field += text[i++];
            row.fields.push_back(std::move(field));
            field.clear();
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
        row.text = text.substr(start, i - start);
        if (i < text.size()) ++i;  // the line end
        rows.push_back(std::move(row));
    }
    return true;
}

std::string Named(const std::string& path) {
    return "\u201E" + path + "\u201D";
}

// The report's values of a row: what CsvLine wrote of the record.
ResultRecord RecordOf(const std::vector<std::string>& f) {
    ResultRecord record;
    record.path = f[0];
    record.item.CurrentName = FileNamePart(f[0]);
    record.item.OpCode = f[1].empty() ? 0 : f[1][0];
    record.item.ResultOrder = static_cast<std::uint8_t>(Number(f[2]).value_or(0));
    record.hasImage = !f[3].empty();
    record.item.ResultWidth = static_cast<std::int32_t>(Number(f[3]).value_or(0));
    record.item.ResultHeight = static_cast<std::int32_t>(Number(f[4]).value_or(0));
    record.item.SizeBefore = static_cast<std::int64_t>(Number(f[6]).value_or(0));
    record.hasContainer = !f[7].empty();
    record.item.SizeAfter = static_cast<std::int64_t>(Number(f[7]).value_or(0));
    record.check = f[10] == "ok"       ? CheckState::Passed
                   : f[10] == "failed" ? CheckState::Failed
                                       : CheckState::None;
    record.error = f[11];
    return record;
}

}  // namespace

std::string PlanFingerprint(const Options& options, std::size_t jobs) {
    std::string plan = "eksperymenty-seria plan 1";
    for (const std::string& image : options.images)
        plan.append(1, '\0').append(image);
    plan += "\norders";
    for (const int order : options.orders)
        plan += " " + std::to_string(order);
    plan += "\nbit orders ";
    for (const BitOrder bitOrder : options.bitOrders)
        plan += bitOrder == BitOrder::PixelMajor ? "B" : "P";
    plan += options.check ? "\ncheck" : "\nno check";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv1a(plan)));
    return std::string(hex) + "-" + std::to_string(jobs);
}

std::vector<std::size_t> ShardSteps(std::size_t steps, const Shard& shard) {
    std::vector<std::size_t> chosen;
    for (std::size_t i = static_cast<std::size_t>(shard.k - 1); i < steps;
         i += static_cast<std::size_t>(shard.n))
        chosen.push_back(i);
    return chosen;
}

std::string ShardValues(std::size_t job, const Shard& shard, const std::string& plan) {
    return "," + std::to_string(job) + "," + std::to_string(shard.k) + "/" +
           std::to_string(shard.n) + "," + plan;
}

Merged MergeShards(const std::vector<ShardCsv>& pieces) {
    const std::string_view columns = kShardColumns;
    std::string header, plan;
    const std::string* headerFrom = nullptr;
    const std::string* planFrom = nullptr;
    Shard planShards;
    std::size_t jobs = 0;
    std::map<int, const std::string*> shardFrom;  // shard K: its file
    std::size_t emptyPieces = 0;
    std::map<std::size_t, std::pair<std::string, ResultRecord>> rows;  // job: line, record
    std::map<std::size_t, const std::string*> jobFrom;

    for (const ShardCsv& piece : pieces) {
        std::vector<CsvRow> lines;
        if (!ReadCsv(piece.text, lines) || lines.empty() ||
            !lines[0].text.ends_with(columns))
            throw UsageError("plik " + Named(piece.path) + " nie jest plikiem CSV części serii");
        const std::string_view head = lines[0].text.substr(0, lines[0].text.size() - columns.size());
        if (!headerFrom) {
            header = head;
            headerFrom = &piece.path;
        } else if (head != header) {
            throw UsageError("pliki " + Named(*headerFrom) + " i " + Named(piece.path) +
                             " mają różne kolumny");
        }
        if (lines.size() == 1) {
            ++emptyPieces;
            continue;
        }
        std::optional<int> pieceShard;
        for (std::size_t r = 1; r < lines.size(); ++r) {
            const std::vector<std::string>& f = lines[r].fields;
            const std::size_t n = f.size();
            const auto job = n >= 15 ? Number(f[n - 3]) : std::nullopt;
            const auto shard = n >= 15 ? ShardOf(f[n - 2]) : std::nullopt;
            const std::size_t dash = n >= 15 ? f[n - 1].rfind('-') : std::string::npos;
            const auto count =
                dash == std::string::npos ? std::nullopt : Number(f[n - 1].substr(dash + 1));
            if (!job || !shard || !count || *job < 1 || *job > *count ||
                static_cast<int>((*job - 1) % static_cast<std::size_t>(shard->n)) + 1 != shard->k)
                throw UsageError("plik " + Named(piece.path) + ": wiersz " + std::to_string(r + 1) +
                                 " nie jest wierszem części serii");
            if (!planFrom) {
                plan = f[n - 1];
                planFrom = &piece.path;
                planShards = *shard;
                jobs = static_cast<std::size_t>(*count);
            } else if (f[n - 1] != plan || shard->n != planShards.n) {
                throw UsageError("pliki " + Named(*planFrom) + " i " + Named(piece.path) +
                                 " są częściami różnych planów");
            }
            if (pieceShard && *pieceShard != shard->k)
                throw UsageError("plik " + Named(piece.path) + " ma wiersze różnych części");
            if (!pieceShard) {
                if (const auto seen = shardFrom.find(shard->k); seen != shardFrom.end())
                    throw UsageError("część " + std::to_string(shard->k) + "/" +
                                     std::to_string(shard->n) + " podana dwa razy: " +
                                     Named(*seen->second) + " i " + Named(piece.path));
                shardFrom[shard->k] = &piece.path;
            }
            pieceShard = shard->k;
            if (const auto seen = jobFrom.find(*job); seen != jobFrom.end())
                throw UsageError("zadanie " + std::to_string(*job) + " jest dwa razy: w " +
                                 Named(*seen->second) + " i " + Named(piece.path));
            jobFrom[*job] = &piece.path;
            // The row as one run writes it: the shard's three values dropped.
            const std::string_view text = lines[r].text;
            std::size_t cut = text.size();
            for (int field = 0; field < 3; ++field)
                cut = text.rfind(',', cut - 1);
            rows[*job] = {std::string(text.substr(0, cut)), RecordOf(f)};
        }
    }
    // Every shard that has jobs, and every job.
    const int busy = static_cast<int>(std::min<std::size_t>(jobs, planShards.n));
    for (int k = 1; k <= busy; ++k)
        if (!shardFrom.count(k))
            throw UsageError("brak części " + std::to_string(k) + "/" +
                             std::to_string(planShards.n) + " planu " + plan);
    if (planFrom && emptyPieces > static_cast<std::size_t>(planShards.n - busy))
        throw UsageError("podano więcej części niż " + std::to_string(planShards.n));
    for (std::size_t job = 1; job <= jobs; ++job)
        if (!rows.count(job))
            throw UsageError("brak zadania " + std::to_string(job) + " w części " +
                             Named(*shardFrom[static_cast<int>((job - 1) % planShards.n) + 1]));

    Merged merged;
    merged.csv = header + "\n";
    for (auto& [job, row] : rows) {
        merged.csv += row.first + "\n";
        merged.records.push_back(std::move(row.second));
    }
    return merged;
}

}  // namespace eks::seria
