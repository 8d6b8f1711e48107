#pragma once

// Records and lines as the chart's tests make and compare them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "results/ChartSeries.h"
#include "results/ResultRow.h"

namespace eks::test {

using Steps = std::vector<std::pair<int, double>>;

// (order, bpp) of a line, for comparing whole lines at once.
inline Steps StepsOf(const ChartSeries& line) {
    Steps steps;
    for (const ChartPoint& p : line.points)
        steps.emplace_back(p.order, p.bpp);
    return steps;
}

// A record of a finished job: an image of width × height pixels coded, or a
// container decoded, to sizeAfter bytes.
inline ResultRecord Record(const std::string& path, char op, int order, std::int64_t sizeAfter,
                           int width = 256, int height = 256, bool written = true) {
    ResultRecord record;
    record.path = path;
    record.item.OpCode = op;
    record.item.ResultOrder = static_cast<std::uint8_t>(order);
    record.item.SizeAfter = sizeAfter;
    record.item.ResultWidth = width;
    record.item.ResultHeight = height;
    record.hasContainer = written;
    return record;
}

}  // namespace eks::test
