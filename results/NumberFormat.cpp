#include "results/NumberFormat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace eks {

std::string FormatThousands(std::int64_t value, std::string_view thousandsSep) {
    const bool negative = value < 0;
    // Work on the magnitude as unsigned so that INT64_MIN needs no care.
    std::uint64_t magnitude =
        negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    const std::string digits = std::to_string(magnitude);
    std::string out = negative ? "-" : "";
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += thousandsSep;
        out += digits[i];
    }
    return out;
}

namespace {

// The decimal digits of a non-negative value, 17 significant, and the power
// of ten of the first: value ≈ 0.d1d2d3... × 10^(exp10 + 1).
struct Digits {
    std::string d;
    int exp10 = 0;
};

Digits DecimalDigits(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.16e", v);
    Digits out;
    for (const char* p = buf; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') out.d += *p;
    const char* e = buf;
    while (*e && *e != 'e')
        ++e;
    out.exp10 = *e ? std::atoi(e + 1) : 0;
    if (v == 0) out.exp10 = 0;
    return out;
}

// The first `keep` digits as a number string, rounded half up on the next
// digit. keep may be 0 or negative (everything is cut).
std::string RoundDigits(const std::string& d, int keep) {
    if (keep < 0) return "0";
    std::string kept = d.substr(0, static_cast<std::size_t>(keep));
    const bool up = static_cast<std::size_t>(keep) < d.size() && d[keep] >= '5';
    if (up) {
        int i = static_cast<int>(kept.size()) - 1;
        while (i >= 0 && kept[i] == '9')
            kept[i--] = '0';
        if (i >= 0)
            ++kept[i];
        else
            kept.insert(kept.begin(), '1');
    }
    // Strip leading zeros, keeping one.
    const auto nz = kept.find_first_not_of('0');
    return nz == std::string::npos ? "0" : kept.substr(nz);
}

std::string Scientific(const Digits& dg, int precision, std::string_view decimalSep,
                       bool negative) {
    std::string m = RoundDigits(dg.d, precision);
    int exp10 = dg.exp10;
    if (static_cast<int>(m.size()) > precision) {  // 9.99.. rounded up to 10.0..
        m.pop_back();
        ++exp10;
    }
    std::string out = negative ? "-" : "";
    out += m[0];
    if (m.size() > 1) {
        out += decimalSep;
        out += m.substr(1);
    }
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%03d", exp10 < 0 ? '-' : '+', std::abs(exp10));
    return out + exp;
}

// The fixed form of a value whose integer part has `intDigits` digits (0 for
// a value below one) and whose exact or nearest decimal digits are `dg`.
std::string FixedFromDigits(const Digits& dg, int intDigits, int precision,
                            std::string_view decimalSep, bool negative) {
    if (intDigits > precision) return Scientific(dg, precision, decimalSep, negative);

    const int decimals = std::min(3, precision - intDigits);
    // All digits down to the last decimal kept, as one whole number.
    std::string whole = RoundDigits(dg.d, dg.exp10 + 1 + decimals);
    if (whole.size() <= static_cast<std::size_t>(decimals))
        whole.insert(0, decimals + 1 - whole.size(), '0');
    std::string intPart = whole.substr(0, whole.size() - decimals);
    std::string fraction = whole.substr(whole.size() - decimals);
    if (static_cast<int>(intPart.size()) > precision && intPart != "0")
        return Scientific(dg, precision, decimalSep, negative);
    fraction.resize(3, '0');

    const bool zero = whole.find_first_not_of('0') == std::string::npos;
    return (negative && !zero ? "-" : "") + intPart + std::string(decimalSep) + fraction;
}

__extension__ using Uint128 = unsigned __int128;

std::uint64_t Magnitude(std::int64_t v) {
    return v < 0 ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v);
}

std::string DecimalText(Uint128 v) {
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
        v /= 10;
    } while (v != 0);
    return out;
}

}  // namespace

std::string FormatFixed(double value, int precision, std::string_view decimalSep) {
    if (!std::isfinite(value)) return {};
    const Digits dg = DecimalDigits(std::fabs(value));
    const int intDigits = value == 0 ? 0 : (dg.exp10 >= 0 ? dg.exp10 + 1 : 0);
    return FixedFromDigits(dg, intDigits, precision, decimalSep, std::signbit(value));
}

std::string FormatFixedRatio(std::int64_t a, std::int64_t b, std::int64_t divisor, int precision,
                             std::string_view decimalSep) {
    if (divisor == 0) return {};
    // |a × b| <= 2^126 and |divisor| <= 2^63: every step below is exact.
    const Uint128 num = Uint128{Magnitude(a)} * Magnitude(b);
    const Uint128 den = Magnitude(divisor);
    const bool negative = (((a < 0) != (b < 0)) != (divisor < 0)) && num != 0;

    const Uint128 intValue = num / den;
    Uint128 rest = num % den;
    Digits dg;
    int intDigits = 0;
    if (intValue != 0) {
        dg.d = DecimalText(intValue);
        intDigits = static_cast<int>(dg.d.size());
        dg.exp10 = intDigits - 1;
    } else {
        dg.exp10 = -1;  // the digits start right after the separator, zeros included
    }
    // Three decimals and the one after them decide every rounding; the value's
    // digits are exact, so a half is rounded up on the digit 5 alone.
    for (int i = 0; i < 4; ++i) {
        rest *= 10;
        dg.d += static_cast<char>('0' + static_cast<int>(rest / den));
        rest %= den;
    }
    return FixedFromDigits(dg, intDigits, precision, decimalSep, negative);
}

std::string RatioWithDecimals(std::int64_t a, std::int64_t b, std::int64_t divisor, int decimals) {
    if (divisor == 0) return {};
    const Uint128 num = Uint128{Magnitude(a)} * Magnitude(b);
    const Uint128 den = Magnitude(divisor);
    Uint128 whole = num / den;
    Uint128 rest = num % den;
    std::string fraction;
    for (int i = 0; i < decimals; ++i) {
        rest *= 10;  // rest < den <= 2^63: no overflow
        fraction += static_cast<char>('0' + static_cast<int>(rest / den));
        rest %= den;
    }
    if (rest * 2 >= den) {  // a half goes away from zero
        int i = decimals - 1;
        while (i >= 0 && fraction[i] == '9')
            fraction[i--] = '0';
        if (i >= 0)
            ++fraction[i];
        else
            ++whole;
    }
    const bool zero = whole == 0 && fraction.find_first_not_of('0') == std::string::npos;
    const bool negative = ((a < 0) != (b < 0)) != (divisor < 0);
    return (negative && !zero ? "-" : "") + DecimalText(whole) +
           (decimals > 0 ? "." + fraction : std::string());
}

}  // namespace eks
