#include "seria/Shards.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string_view>

#include "core/Error.h"
#include "core/Files.h"
#include "core/IoText.h"
#include "core/Paths.h"
#include "results/Csv.h"
#include "results/CsvReader.h"

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

std::string Named(const std::string& path) {
    return "\u201E" + path + "\u201D";
}

UsageError NotAShardCsv(const std::string& path) {
    return UsageError("plik " + Named(path) + " nie jest plikiem CSV części serii");
}

// The shard values of a row when its fields are as many as its header's.
std::optional<CsvShard> ShardColumnsOf(const CsvRow& row, std::size_t fields) {
    return row.fields.size() == fields ? CsvShardOf(row.fields) : std::nullopt;
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

ShardMerge::ShardMerge(const std::vector<std::string>& paths) {
    const std::string_view columns = kCsvShardColumns;
    // The pieces with rows stay open till the merge is written, each with a
    // buffer: together a few megabytes however many there are.
    const std::size_t buffer = std::clamp<std::size_t>(
        (std::size_t{16} << 20) / std::max<std::size_t>(paths.size(), 1), 4096, 65536);
    const std::string* headerFrom = nullptr;
    const std::string* planFrom = nullptr;
    std::size_t emptyPieces = 0;
    CsvRow row;

    for (const std::string& path : paths) {
        auto piece = std::make_unique<CsvReader>(path, buffer);
        std::string problem;
        const auto layout = piece->Next(row) ? CsvHeaderColumns(row.fields, problem) : std::nullopt;
        if (!layout || !layout->shard) throw NotAShardCsv(path);
        const std::string_view head =
            std::string_view(row.text).substr(0, row.text.size() - columns.size());
        if (!headerFrom) {
            header_ = head;
            headerFrom = &path;
            fields_ = row.fields.size();
        } else if (head != header_) {
            throw UsageError("pliki " + Named(*headerFrom) + " i " + Named(path) +
                             " mają różne kolumny");
        }
        // A piece holds the jobs K, K+N, K+2N … of its shard in this order,
        // none left out, as the shard's run wrote them.
        int k = 0;
        std::size_t last = 0, line = 1;
        while (piece->Next(row)) {
            ++line;
            const auto values = ShardColumnsOf(row, fields_);
            if (!values)
                throw UsageError("plik " + Named(path) + ": wiersz " + std::to_string(line) +
                                 " nie jest wierszem części serii");
            const std::size_t job = values->job;
            const int n = values->n;
            if (!planFrom) {
                plan_ = values->plan;
                planFrom = &path;
                shards_ = n;
                jobs_ = values->jobs;
                pieces_.resize(std::min<std::size_t>(jobs_, static_cast<std::size_t>(n)));
            } else if (values->plan != plan_ || n != shards_) {
                throw UsageError("pliki " + Named(*planFrom) + " i " + Named(path) +
                                 " są częściami różnych planów");
            }
            if (k != 0 && values->k != k)
                throw UsageError("plik " + Named(path) + " ma wiersze różnych części");
            if (k == 0) {
                k = values->k;
                if (const auto& seen = pieces_[static_cast<std::size_t>(k - 1)])
                    throw UsageError("część " + std::to_string(k) + "/" + std::to_string(n) +
                                     " podana dwa razy: " + Named(seen->Path()) + " i " +
                                     Named(path));
            }
            if (last != 0 && job <= last)
                throw UsageError("zadanie " + std::to_string(job) + " jest dwa razy: w " +
                                 Named(path) + " i " + Named(path));
            const std::size_t expected =
                last == 0 ? static_cast<std::size_t>(k) : last + static_cast<std::size_t>(n);
            if (job != expected)
                throw UsageError("brak zadania " + std::to_string(expected) + " w części " +
                                 Named(path) + ": wiersz " + std::to_string(line) + " ma zadanie " +
                                 std::to_string(job));
            last = job;
        }
        if (k == 0) {
            ++emptyPieces;
            continue;
        }
        // The rows cut off a piece's end.
        if (jobs_ - last >= static_cast<std::size_t>(shards_))
            throw UsageError("brak zadania " +
                             std::to_string(last + static_cast<std::size_t>(shards_)) +
                             " w części " + Named(path));
        pieces_[static_cast<std::size_t>(k - 1)] = std::move(piece);
    }
    if (!planFrom)
        throw UsageError(
            "żadna z podanych części nie ma wierszy, a z samych nagłówków nie da się poznać planu");
    // Every shard that has jobs.
    for (std::size_t k = 1; k <= pieces_.size(); ++k)
        if (!pieces_[k - 1])
            throw UsageError("brak części " + std::to_string(k) + "/" + std::to_string(shards_) +
                             " planu " + plan_);
    if (emptyPieces > static_cast<std::size_t>(shards_) - pieces_.size())
        throw UsageError("podano więcej części niż " + std::to_string(shards_));
}

ShardMerge::~ShardMerge() = default;

void ShardMerge::Write(const Sink& out) {
    out(ValidUtf8(header_) + "\n", nullptr);
    CsvRow row;
    for (const auto& piece : pieces_) {
        piece->Rewind();
        piece->Next(row);  // the header
    }
    for (std::size_t job = 1; job <= jobs_; ++job) {
        CsvReader& piece = *pieces_[(job - 1) % static_cast<std::size_t>(shards_)];
        const auto values = piece.Next(row) ? ShardColumnsOf(row, fields_) : std::nullopt;
        if (!values || values->job != job || values->plan != plan_)
            throw Error("Plik " + Named(piece.Path()) + " zmienił się w trakcie łączenia");
        // The row as one run writes it: the shard's three values dropped.
        std::size_t cut = row.text.size();
        for (int field = 0; field < 3; ++field)
            cut = row.text.rfind(',', cut - 1);
        row.text.resize(cut);
        const ResultRecord record = CsvRecord(row.fields);
        out(ValidUtf8(row.text) + "\n", &record);
    }
}

}  // namespace eks::seria
