#include "results/ChartSeries.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

namespace eks {

namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "\\/:";
#else
constexpr const char* kSeparators = "/";
#endif

// The last `parts` components of a path, or the whole path when it has no
// more than that.
std::string PathTail(const std::string& path, int parts) {
    std::size_t cut = path.size();
    for (int i = 0; i < parts; ++i) {
        if (cut == 0) return path;
        const std::size_t sep = path.find_last_of(kSeparators, cut - 1);
        if (sep == std::string::npos) return path;
        cut = sep;
    }
    return path.substr(cut + 1);
}

// For each image, the shortest tail of its path that no other image shares:
// one folder more for the images whose tails still meet, until none do.
std::vector<std::string> ImageLabels(const std::vector<std::string>& images) {
    std::vector<std::string> labels(images.size());
    std::vector<std::size_t> open(images.size());
    for (std::size_t i = 0; i < images.size(); ++i)
        open[i] = i;
    for (int parts = 1; !open.empty(); ++parts) {
        std::vector<std::string> tails(images.size());
        std::unordered_map<std::string, int> shared;
        for (std::size_t i = 0; i < images.size(); ++i)
            ++shared[tails[i] = PathTail(images[i], parts)];
        std::vector<std::size_t> still;
        for (std::size_t i : open) {
            if (shared[tails[i]] == 1 || tails[i] == images[i])
                labels[i] = tails[i];
            else
                still.push_back(i);
        }
        open = std::move(still);
    }
    return labels;
}

}  // namespace

const char* ChartBitOrderText(char opCode) {
    return opCode == 'B' ? "bez przeplotu (B)" : "z przeplotem (P)";
}

std::vector<ChartSeries> BuildChartSeries(const std::vector<ResultRecord>& records) {
    std::vector<std::string> images;  // full paths, in the order met
    std::unordered_map<std::string, int> imageIndex;
    // Per image, its lines in pixel and plane order (-1: none yet).
    std::vector<std::array<int, 2>> lineOf;
    std::vector<ChartSeries> lines;
    // Per line, its points in the records' order.
    std::vector<std::vector<ChartPoint>> steps;
    for (const ResultRecord& record : records) {
        const char op = record.item.OpCode;
        const std::int64_t pixels = record.Pixels();
        if ((op != 'B' && op != 'P') || pixels <= 0 || !record.hasContainer) continue;
        const auto [found, added] =
            imageIndex.try_emplace(record.path, static_cast<int>(images.size()));
        if (added) {
            images.push_back(record.path);
            lineOf.push_back({-1, -1});
        }
        const int image = found->second;
        int& line = lineOf[static_cast<std::size_t>(image)][op == 'B' ? 0 : 1];
        if (line < 0) {
            line = static_cast<int>(lines.size());
            lines.push_back({record.path, op, image, {}, {}, {}});
            steps.emplace_back();
        }
        const int order = record.item.ResultOrder;
        const std::int64_t sizeAfter = record.item.SizeAfter;
        const double bpp = static_cast<double>(sizeAfter) * 8.0 / static_cast<double>(pixels);
        steps[static_cast<std::size_t>(line)].push_back({order, bpp, sizeAfter, pixels});
    }
    const std::vector<std::string> labels = ImageLabels(images);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // By order; of one order's points the later record's counts.
        std::stable_sort(
            steps[i].begin(), steps[i].end(),
            [](const ChartPoint& a, const ChartPoint& b) { return a.order < b.order; });
        for (const ChartPoint& point : steps[i]) {
            if (!lines[i].points.empty() && lines[i].points.back().order == point.order)
                lines[i].points.back() = point;
            else
                lines[i].points.push_back(point);
        }
        lines[i].label = labels[static_cast<std::size_t>(lines[i].image)];
        lines[i].name = lines[i].label + " — " + ChartBitOrderText(lines[i].opCode);
    }
    return lines;
}

std::string ChartImagesCounted(int images) {
    const int tens = images % 100;
    const int ones = images % 10;
    const char* noun = images == 1                                          ? "obraz"
                       : ones >= 2 && ones <= 4 && (tens < 12 || tens > 14) ? "obrazy"
                                                                            : "obrazów";
    return std::to_string(images) + " " + noun;
}

int ChartImageCount(const std::vector<ChartSeries>& lines) {
    int count = 0;
    for (const ChartSeries& line : lines)
        count = std::max(count, line.image + 1);
    return count;
}

bool ChartMeanLine::Partial() const {
    return std::any_of(points.begin(), points.end(),
                       [&](const ChartMeanPoint& p) { return p.images < images; });
}

std::vector<ChartMeanLine> BuildChartMeans(const std::vector<ChartSeries>& lines) {
    std::vector<ChartMeanLine> means;
    for (const char op : {'B', 'P'}) {
        // By order: the sum, the lowest, the highest and the count.
        std::map<int, ChartMeanPoint> orders;
        std::map<int, double> sums;
        int images = 0;
        for (const ChartSeries& line : lines) {
            if (line.opCode != op) continue;
            ++images;
            for (const ChartPoint& p : line.points) {
                const auto [at, first] =
                    orders.try_emplace(p.order, ChartMeanPoint{p.order, 0, p.bpp, p.bpp, 0});
                ChartMeanPoint& m = at->second;
                m.lowest = std::min(m.lowest, p.bpp);
                m.highest = std::max(m.highest, p.bpp);
                ++m.images;
                sums[p.order] += p.bpp;
            }
        }
        if (images == 0) continue;
        ChartMeanLine mean{op, images, {}};
        for (auto& [order, point] : orders) {
            point.mean = sums[order] / point.images;
            mean.points.push_back(point);
        }
        means.push_back(std::move(mean));
    }
    return means;
}

std::string ChartMeanName(const ChartMeanLine& line) {
    std::string name = std::string(ChartBitOrderText(line.opCode)) + ": średnia z " +
                       std::to_string(line.images) + (line.images == 1 ? " obrazu" : " obrazów");
    if (!line.Partial()) return name;
    std::string fewer;
    for (const ChartMeanPoint& p : line.points) {
        if (p.images == line.images) continue;
        if (!fewer.empty()) fewer += ", ";
        fewer += "rząd " + std::to_string(p.order) + ": " + std::to_string(p.images);
    }
    return name + " (" + fewer + "; obrazy bez wyniku pominięte)";
}

}  // namespace eks
