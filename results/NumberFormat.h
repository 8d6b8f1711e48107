#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace eks {

// The separators of the user's locale; the window supplies them.
struct Separators {
    std::string thousands = ",";
    std::string decimal = ".";
};

// A whole number with its digits grouped in threes: 65536 → "65,536".
std::string FormatThousands(std::int64_t value, std::string_view thousandsSep);

// A number rounded once to at most `precision` significant digits and at
// most three decimals (whichever cuts first, a half rounded away from zero),
// written with exactly three decimals and at least one digit before the
// separator: 8.0018310546875 → "8.002", 123.4567 (precision 5) → "123.460".
// When the integer part has more than `precision` digits the number is
// written in scientific form, `precision` significant digits: "5.2441E+005".
// Infinities and NaN give an empty text.
std::string FormatFixed(double value, int precision, std::string_view decimalSep);

// The same form for the exact value a × b / divisor, rounded on its true
// decimal digits rather than on those of a double, so that a half is always
// rounded away from zero: 1939350 × 8 / 480000 = 32.3225 → "32.323". Exact
// for every 64-bit input. A zero divisor gives an empty text.
std::string FormatFixedRatio(std::int64_t a, std::int64_t b, std::int64_t divisor, int precision,
                             std::string_view decimalSep);

// The exact value a × b / divisor with exactly `decimals` decimals after a
// '.', rounded half away from zero, never in scientific form:
// (65551, 8, 65536, 6) → "8.001831". A zero divisor gives an empty text.
std::string RatioWithDecimals(std::int64_t a, std::int64_t b, std::int64_t divisor, int decimals);

}  // namespace eks
