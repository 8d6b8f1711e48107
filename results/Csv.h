#pragma once

// Result records as comma-separated values for spreadsheets and plotting
// tools: UTF-8 text, every line ended by "\n", raw integers and a '.' before
// six decimals whatever the locale, so that one file reads the same everywhere.

#include <cstdint>
#include <string>
#include <vector>

#include "results/ResultRow.h"

namespace eks {

// "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,bpp_after,check,error"
// and its line end.
std::string CsvHeaderLine();

// One record with its line end: the image's path (quoted when it holds a
// comma, a quote or a line break), the operation letter (B or P for an
// encode, D for a decode), the order, width, height, pixels, the two sizes in
// bytes, the bits per pixel before and after (empty without pixels), the
// check ("ok", "failed" or empty) and the error of a job that failed. What a
// failed job does not have (its image's values, the size after) is empty.
// Bytes of the path and the error that are not UTF-8 are written as U+FFFD,
// one for each maximal invalid part.
std::string CsvLine(const ResultRecord& record);

// The header line and a line per record.
std::string CsvText(const std::vector<ResultRecord>& records);

// bytes × 8 / pixels rounded half away from zero to six decimals, exact for
// every 64-bit input: 65551 × 8 / 65536 → "8.001831". Empty when pixels is 0.
std::string CsvBitsPerPixel(std::int64_t bytes, std::int64_t pixels);

}  // namespace eks
