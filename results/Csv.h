#pragma once

// Result records as comma-separated values for spreadsheets and plotting
// tools: UTF-8 text, every line ended by "\n", raw integers and a '.' before
// six decimals whatever the locale, so that one file reads the same everywhere.

#include <cstdint>
#include <string>
#include <vector>

#include "results/ResultRow.h"

namespace eks {

// The columns after "error" that eksperymenty-seria adds when asked; the
// window's CSV has none of them.
struct CsvExtraColumns {
    bool references = false;  // kt_bpp,cond_entropy_bpp,h0_bpp
    bool planeCosts = false;  // plane7_bpp,...,plane0_bpp
};

// "image,bit_order,order,width,height,pixels,size_before,size_after,bpp_before,bpp_after,check,error",
// the extra columns asked for and the line end.
std::string CsvHeaderLine(CsvExtraColumns extra = {});

// One record with its line end: the image's path (quoted when it holds a
// comma, a quote or a line break), the operation letter (B or P for an
// encode, D for a decode), the order, width, height, pixels, the two sizes in
// bytes, the bits per pixel before and after (empty without pixels), the
// check ("ok", "failed" or empty) and the error of a job that failed. What a
// failed job does not have (its image's values, the size after) is empty.
// Bytes of the path and the error that are not UTF-8 are written as U+FFFD,
// one for each maximal invalid part. The extra columns hold the record's
// figures in bits per pixel (six decimals after a '.'), empty when the record
// has none or no pixels.
std::string CsvLine(const ResultRecord& record, CsvExtraColumns extra = {});

// The header line and a line per record.
std::string CsvText(const std::vector<ResultRecord>& records, CsvExtraColumns extra = {});

// The text with every maximal invalid UTF-8 part (a name in another code
// page, a cut sequence) replaced by U+FFFD; valid UTF-8 stays as it is. What
// the CSV's text fields go through.
std::string ValidUtf8(const std::string& text);

// A field as CsvLine writes it: as it stands, or in double quotes with its
// quotes doubled when a reader would otherwise split it; always valid UTF-8.
std::string CsvField(const std::string& raw);

// bytes × 8 / pixels rounded half away from zero to six decimals, exact for
// every 64-bit input: 65551 × 8 / 65536 → "8.001831". Empty when pixels is 0.
std::string CsvBitsPerPixel(std::int64_t bytes, std::int64_t pixels);

}  // namespace eks
