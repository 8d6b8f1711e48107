#pragma once

// Result rows as comma-separated values for spreadsheets and plotting tools:
// UTF-8 text, every line ended by "\n", raw integers and a '.' before six
// decimals whatever the locale, so that one file reads the same everywhere.

#include <cstdint>
#include <string>

#include "core/ExperimentState.h"

namespace eks {

// "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,bpp_after,check"
// and its line end.
std::string CsvHeaderLine();

// One row with its line end: image (quoted when it holds a comma, a quote or a
// line break), the operation letter (B or P for an encode, D for a decode),
// the order, width, height, pixels, the two sizes in bytes, the bits per
// pixel before and after (empty without pixels) and the check: "ok",
// "failed" or empty.
std::string CsvLine(const TItemRec& row, const std::string& image, const std::string& check);

// bytes × 8 / pixels rounded half away from zero to six decimals, exact for
// every 64-bit input: 65551 × 8 / 65536 → "8.001831". Empty when pixels is 0.
std::string CsvBitsPerPixel(std::int64_t bytes, std::int64_t pixels);

}  // namespace eks
