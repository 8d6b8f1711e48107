#include "results/CsvReader.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "core/Error.h"
#include "core/IoText.h"
#include "core/Paths.h"

namespace eks {

namespace {

std::optional<std::uint64_t> Number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

constexpr const char* kBaseColumns[] = {"image",      "bit_order", "order",       "width",
                                        "height",     "pixels",    "size_before", "size_after",
                                        "bpp_before", "bpp_after", "check",       "error"};
constexpr const char* kReferenceColumns[] = {"kt_bpp", "cond_entropy_bpp", "h0_bpp"};
constexpr const char* kShardNames[] = {"job", "shard", "plan"};

}  // namespace

// ------------------------------------------------------------------ reader

CsvReader::CsvReader(const std::string& path, std::size_t bufferSize)
    : path_(path), buffer_(bufferSize) {
    if (const auto status = file_.Open(path); status != InputFile::Status::Open)
        throw Error(OpenFailureMessage(status, path));
}

void CsvReader::Unreadable(std::size_t line) const {
    throw Error("Plik " + path_ + ", wiersz " + std::to_string(line) +
                ": to nie jest wiersz pliku CSV wyników (niezamknięty cudzysłów albo wiersz "
                "dłuższy niż " +
                std::to_string(kMaxCsvRowBytes) + " bajtów)");
}

bool CsvReader::More() {
    if (next_ < end_) return true;
    const long long got = file_.Read(buffer_.data(), buffer_.size());
    if (got < 0) throw Error(ReadErrorMessage(path_, file_.ErrorCode()));
    next_ = 0;
    end_ = static_cast<std::size_t>(got);
    return got > 0;
}

void CsvReader::Take(CsvRow& row, std::size_t n) {
    if (row.text.size() + n > kMaxCsvRowBytes) Unreadable(row.line);
    row.text.append(buffer_.data() + next_, n);
    line_ += static_cast<std::size_t>(
        std::count(buffer_.data() + next_, buffer_.data() + next_ + n, '\n'));
    next_ += n;
}

bool CsvReader::Next(CsvRow& row) {
    row.text.clear();
    row.fields.clear();
    row.line = line_;
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
            // Up to the next quote: a doubled one stands for one, a single
            // one closes the field.
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
            if (*stop == '\n') {
                ++line_;
                return true;
            }
            row.text += ',';
            atStart = true;
        }
    }
    if (quoted) Unreadable(row.line);
    row.fields.push_back(std::move(field));
    return true;
}

void CsvReader::Rewind() {
    if (!file_.Rewind()) throw Error(ReadErrorMessage(path_, file_.ErrorCode()));
    next_ = end_ = 0;
    line_ = 1;
}

// ----------------------------------------------------------------- columns

std::optional<CsvColumns> CsvHeaderColumns(const std::vector<std::string>& header,
                                           std::string& problem) {
    problem.clear();
    std::size_t at = 0;
    // The next columns must be `names`, in this order; `whole`: all of them.
    const auto expect = [&](const std::vector<std::string>& names, bool whole) {
        if (at >= header.size() || header[at] != names.front()) {
            if (whole) problem = "brak kolumny " + names.front();
            return false;
        }
        for (const std::string& name : names) {
            if (at >= header.size() || header[at] != name) {
                problem = "brak kolumny " + name;
                return false;
            }
            ++at;
        }
        return true;
    };
    CsvColumns columns;
    for (const char* name : kBaseColumns)
        if (!expect({name}, true)) return std::nullopt;
    columns.extra.references =
        expect({std::begin(kReferenceColumns), std::end(kReferenceColumns)}, false);
    if (!problem.empty()) return std::nullopt;
    std::vector<std::string> planes;
    for (int plane = 7; plane >= 0; --plane)
        planes.push_back("plane" + std::to_string(plane) + "_bpp");
    columns.extra.planeCosts = expect(planes, false);
    columns.shard = expect({std::begin(kShardNames), std::end(kShardNames)}, false);
    if (!problem.empty()) return std::nullopt;
    if (at < header.size()) {
        problem = "nieznana kolumna " + header[at];
        return std::nullopt;
    }
    columns.count = header.size();
    return columns;
}

ResultRecord CsvRecord(const std::vector<std::string>& f) {
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

std::vector<ResultRecord> ReadResultsCsv(const std::string& path) {
    CsvReader reader(path);
    CsvRow row;
    std::string problem = "plik jest pusty";
    const auto columns = reader.Next(row) ? CsvHeaderColumns(row.fields, problem) : std::nullopt;
    if (!columns) throw Error("Plik " + path + " nie jest plikiem wyników: " + problem);
    std::vector<ResultRecord> records;
    while (reader.Next(row)) {
        if (row.fields.size() != columns->count)
            throw Error("Plik " + path + ", wiersz " + std::to_string(row.line) + ": " +
                        std::to_string(row.fields.size()) + " pól zamiast " +
                        std::to_string(columns->count));
        records.push_back(CsvRecord(row.fields));
    }
    return records;
}

// ------------------------------------------------------------------ shards

std::string CsvShardValues(std::size_t job, int k, int n, const std::string& plan) {
    return "," + std::to_string(job) + "," + std::to_string(k) + "/" + std::to_string(n) + "," +
           plan;
}

std::optional<CsvShard> CsvShardOf(const std::vector<std::string>& f) {
    const std::size_t n = f.size();
    if (n < std::size(kBaseColumns) + 3) return std::nullopt;
    const std::string_view shard = f[n - 2];
    const std::size_t slash = shard.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const auto job = Number(f[n - 3]);
    const auto k = Number(shard.substr(0, slash)), of = Number(shard.substr(slash + 1));
    const std::string_view plan = f[n - 1];
    const bool hex =
        plan.size() > 17 && plan[16] == '-' &&
        plan.substr(0, 16).find_first_not_of("0123456789abcdef") == std::string_view::npos;
    const auto jobs = hex ? Number(plan.substr(17)) : std::nullopt;
    if (!job || !k || !of || !jobs) return std::nullopt;
    // Plain values from here on: GCC's optimiser takes the optionals for
    // uninitialised otherwise.
    const auto j = *job, kk = *k, o = *of, all = *jobs;
    if (kk < 1 || kk > o || o > 1000000 || j < 1 || j > all || (j - 1) % o + 1 != kk)
        return std::nullopt;
    return CsvShard{static_cast<std::size_t>(j), static_cast<int>(kk), static_cast<int>(o),
                    std::string(plan), static_cast<std::size_t>(all)};
}

std::string CsvShardLine(const ResultRecord& record, CsvExtraColumns extra, std::size_t job, int k,
                         int n, const std::string& plan) {
    std::string line = CsvLine(record, extra);
    line.insert(line.size() - 1, CsvShardValues(job, k, n, plan));
    return line;
}

}  // namespace eks
