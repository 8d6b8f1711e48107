#pragma once

// What the page "Wykres" draws, made from the result records: the bits per
// pixel after coding against the coder order, one line per image and bit
// order, and for a corpus the mean over its images per bit order and order.

#include <cstdint>
#include <string>
#include <vector>

#include "results/ResultRow.h"

namespace eks {

// One plotted step: bpp = sizeAfter × 8 / pixels. The raw sizes stay with it
// so that a value shown from the chart reads exactly as in the table.
struct ChartPoint {
    int order;
    double bpp;
    std::int64_t sizeAfter;
    std::int64_t pixels;
};

// One line: every coding of one image (known by its full path) in one bit
// order, sorted by order. `image` numbers the images from 0 in the order
// they first appear and picks the line's colour and marker; `label` is the
// image's name in the legend and `name` the line's, both in UTF-8.
struct ChartSeries {
    std::string imagePath;
    char opCode;
    int image;
    std::string label;
    std::string name;
    std::vector<ChartPoint> points;
};

// The chart's lines from the records in table order. Lines come in the order
// of their first record. Decodes, records without pixels and records of jobs
// that wrote no container are left out; when one image, bit order and order
// appear more than once, the later record counts. An image is labelled by its
// file name, "obraz.pgm"; two images of the same file name in different
// folders are told apart by as many folders as it takes, "a/obraz.pgm". A
// line is named by its image and its bit order, "a/obraz.pgm — z przeplotem (P)".
// Linear in the records, so that a corpus of thousands of images is quick.
std::vector<ChartSeries> BuildChartSeries(const std::vector<ResultRecord>& records);

// The number of images the lines are of.
int ChartImageCount(const std::vector<ChartSeries>& lines);

// A number of images with the noun's form that Polish gives it: "1 obraz",
// "3 obrazy", "5 obrazów", "22 obrazy".
std::string ChartImagesCounted(int images);

// "bez przeplotu (B)" or "z przeplotem (P)".
const char* ChartBitOrderText(char opCode);

// One order of a corpus' mean line: the mean of the bits per pixel of the
// images that have a row at that order, and the lowest and highest of them.
struct ChartMeanPoint {
    int order;
    double mean;
    double lowest;
    double highest;
    int images;  // how many images the figures are of
};

// The mean line of one bit order over the images that have a line in it.
// An image without a row at some order is left out of that order only, so
// that order's `images` is smaller than the line's.
struct ChartMeanLine {
    char opCode;
    int images;                          // the images with at least one row in this bit order
    std::vector<ChartMeanPoint> points;  // by order

    // Whether some order is of fewer images than the line.
    bool Partial() const;
};

// The mean lines of the chart's lines: pixel order B first, then plane order
// P, each only when some image has a line in it.
std::vector<ChartMeanLine> BuildChartMeans(const std::vector<ChartSeries>& lines);

// The mean line's name in the legend: "bez przeplotu (B): średnia z 120
// obrazów", and where an order is of fewer images, which and of how many:
// "… (rząd 5: 118, rząd 7: 119; obrazy bez wyniku pominięte)".
std::string ChartMeanName(const ChartMeanLine& line);

}  // namespace eks
