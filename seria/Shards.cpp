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
    std::string text;
    std::vector<std::string> fields;
};

// No line that CsvLine writes comes near this: a longer one (a quote left
// open, say) is not read on to the end of a large file.
constexpr std::size_t kMaxRowBytes = std::size_t{1} << 20;

std::string Named(const std::string& path) {
    return "\u201E" + path + "\u201D";
}

UsageError NotAShardCsv(const std::string& path) {
    return UsageError("plik " + Named(path) + " nie jest plikiem CSV części serii");
}

// The values ShardValues adds to a row: its job, its shard and the plan's
// fingerprint with the plan's number of jobs.
struct ShardColumns {
    std::size_t job;
    Shard shard;
    std::string_view plan;
    std::size_t jobs;
};

// The shard columns at the end of a row's fields, when they hold what
// ShardValues writes for a job of that shard.
std::optional<ShardColumns> ShardColumnsOf(const std::vector<std::string>& f) {
    const std::size_t n = f.size();
    if (n < 15) return std::nullopt;
    const auto job = Number(f[n - 3]);
    const auto shard = ShardOf(f[n - 2]);
    const std::string_view plan = f[n - 1];
    const bool hex =
        plan.size() > 17 && plan[16] == '-' &&
        plan.substr(0, 16).find_first_not_of("0123456789abcdef") == std::string_view::npos;
    const auto jobs = hex ? Number(plan.substr(17)) : std::nullopt;
    if (!job || !shard || !jobs || *job < 1 || *job > *jobs ||
        static_cast<int>((*job - 1) % static_cast<std::size_t>(shard->n)) + 1 != shard->k)
        return std::nullopt;
    return ShardColumns{static_cast<std::size_t>(*job), *shard, plan,
                        static_cast<std::size_t>(*jobs)};
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

// One piece, read a row at a time through a buffer of its own. Rows are
// read as CsvLine writes them: a field in double quotes may hold commas,
// doubled quotes and line breaks.
class PieceReader {
  public:
    PieceReader(const std::string& path, std::size_t bufferSize)
        : path_(path), buffer_(bufferSize) {
        if (const auto status = file_.Open(path); status != InputFile::Status::Open)
            throw Error(OpenFailureMessage(status, path));
    }

    const std::string& Path() const { return path_; }

    // The next row into `row`; false at the end of the file. Throws
    // UsageError for a quote left open and a row longer than any CsvLine.
    bool Next(CsvRow& row) {
        row.text.clear();
        row.fields.clear();
        if (!More()) return false;
        std::string field;
        bool atStart = true;  // at a field's first byte
        bool quoted = false;  // within a field's double quotes
        while (More()) {
            const char* const from = buffer_.data() + next_;
            const char* const to = buffer_.data() + end_;
            if (atStart && *from == '"') {
                atStart = false;
                quoted = true;
                Take(row, 1);
            } else if (quoted) {
                // Up to the next quote: a doubled one stands for one, a
                // single one closes the field.
                const char* const quote = std::find(from, to, '"');
                field.append(from, quote);
                Take(row, static_cast<std::size_t>(quote - from) + (quote != to ? 1 : 0));
                if (quote == to) continue;
                if (More() && buffer_[next_] == '"') {
                    field += '"';
                    Take(row, 1);
                } else {
                    quoted = false;
                }
            } else {
                atStart = false;
                const char* const stop =
                    std::find_if(from, to, [](char c) { return c == ',' || c == '\n'; });
                field.append(from, stop);
                Take(row, static_cast<std::size_t>(stop - from));
                if (stop == to) continue;
                ++next_;  // the comma or the line end
                row.fields.push_back(std::move(field));
                field.clear();
                if (*stop == '\n') return true;
                row.text += ',';
                atStart = true;
            }
        }
        if (quoted) throw NotAShardCsv(path_);
        row.fields.push_back(std::move(field));
        return true;
    }

    // Back to the first row.
    void Rewind() {
        if (!file_.Rewind()) throw Error(ReadErrorMessage(path_, file_.ErrorCode()));
        next_ = end_ = 0;
    }

  private:
    // Whether a byte is left to read, reading on when the buffer is spent.
    bool More() {
        if (next_ < end_) return true;
        const long long got = file_.Read(buffer_.data(), buffer_.size());
        if (got < 0) throw Error(ReadErrorMessage(path_, file_.ErrorCode()));
        next_ = 0;
        end_ = static_cast<std::size_t>(got);
        return got > 0;
    }
    // The next n bytes of the buffer go to the row's text.
    void Take(CsvRow& row, std::size_t n) {
        if (row.text.size() + n > kMaxRowBytes) throw NotAShardCsv(path_);
        row.text.append(buffer_.data() + next_, n);
        next_ += n;
    }

    std::string path_;
    InputFile file_;
    std::vector<char> buffer_;
    std::size_t next_ = 0, end_ = 0;
};

ShardMerge::ShardMerge(const std::vector<std::string>& paths) {
    const std::string_view columns = kShardColumns;
    std::string base = CsvHeaderLine();
    base.pop_back();  // the line end
    // The pieces with rows stay open till the merge is written, each with a
    // buffer: together a few megabytes however many there are.
    const std::size_t buffer = std::clamp<std::size_t>(
        (std::size_t{16} << 20) / std::max<std::size_t>(paths.size(), 1), 4096, 65536);
    const std::string* headerFrom = nullptr;
    const std::string* planFrom = nullptr;
    std::size_t emptyPieces = 0;
    CsvRow row;

    for (const std::string& path : paths) {
        auto piece = std::make_unique<PieceReader>(path, buffer);
        if (!piece->Next(row) || !row.text.ends_with(columns)) throw NotAShardCsv(path);
        const std::string_view head =
            std::string_view(row.text).substr(0, row.text.size() - columns.size());
        if (!head.starts_with(base) || (head.size() > base.size() && head[base.size()] != ','))
            throw NotAShardCsv(path);
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
            const auto values =
                row.fields.size() == fields_ ? ShardColumnsOf(row.fields) : std::nullopt;
            if (!values)
                throw UsageError("plik " + Named(path) + ": wiersz " + std::to_string(line) +
                                 " nie jest wierszem części serii");
            const std::size_t job = values->job;
            const int n = values->shard.n;
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
            if (k != 0 && values->shard.k != k)
                throw UsageError("plik " + Named(path) + " ma wiersze różnych części");
            if (k == 0) {
                k = values->shard.k;
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
        PieceReader& piece = *pieces_[(job - 1) % static_cast<std::size_t>(shards_)];
        const auto values = piece.Next(row) && row.fields.size() == fields_
                                ? ShardColumnsOf(row.fields)
                                : std::nullopt;
        if (!values || values->job != job || values->plan != plan_)
            throw Error("Plik " + Named(piece.Path()) + " zmienił się w trakcie łączenia");
        // The row as one run writes it: the shard's three values dropped.
        std::size_t cut = row.text.size();
        for (int field = 0; field < 3; ++field)
            cut = row.text.rfind(',', cut - 1);
        row.text.resize(cut);
        const ResultRecord record = RecordOf(row.fields);
        out(ValidUtf8(row.text) + "\n", &record);
    }
}

}  // namespace eks::seria
