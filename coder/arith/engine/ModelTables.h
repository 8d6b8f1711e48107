// The fixed tables of the bit model, part of the stream format: the encoder and the decoder
// must hold exactly the same values, on every platform and with every compiler. They are
// therefore constants in the source, computed once (the formulas are below, and the test of
// the tables checks every entry against them) and never again at run time, where the
// platform's maths library could round differently. Changing any entry makes a new format
// version (see StreamFormat.h).
#pragma once

#include <cstdint>

namespace eks::arith {

inline constexpr int kStretchSize = 4096;  // probabilities given with 12 bits
inline constexpr int kSquashRange = 4096;  // squash covers x in [-kSquashRange, kSquashRange]

// kStretch[i] = lround(ln(p / (1 - p)) * 256) with p = (i + 0.5) / 4096: the logistic
// ("stretched") form of a probability, 256 units per natural unit. From -2307 to 2307, and
// kStretch[4095 - i] == -kStretch[i].
extern const int16_t kStretch[kStretchSize];

// kSquash[x + 4096] = lround(65536 / (1 + e^(-x / 256))) for x from -4096 to 4096, clamped
// to [1, 65535]: the probability (16 bits) of an estimate in the stretched form, the inverse
// of kStretch. kSquash[4096 + x] + kSquash[4096 - x] == 65536.
extern const uint16_t kSquash[2 * kSquashRange + 1];

}  // namespace eks::arith
