// Fixed-point logistic helpers shared by the models.
//
// Probabilities are 16-bit: P(bit == 1) scaled by 65536, always in [1, 65535] when handed
// to the coder. The logistic domain ("stretch") is ln(p / (1 - p)) scaled by 256.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace eks::arith {

inline constexpr int kProbBits = 16;
inline constexpr uint32_t kProbOne = 1u << kProbBits;
inline constexpr uint32_t kProbMax = kProbOne - 1;

// Largest magnitude of a stretched value: ln(65535) * 256 is about 2839, so a little more
// than that covers every probability the coder can use.
inline constexpr int kStretchLimit = 2880;

class LogisticTables {
  public:
    static const LogisticTables& Get() {
        static const LogisticTables tables;
        return tables;
    }

    // ln(p / (1 - p)) * 256 for a probability given with 12 bits (its top bits).
    int Stretch12(uint32_t p12) const { return stretch_[p12]; }

    // 65536 / (1 + e^(-x / 256)) for |x| <= kStretchLimit, clamped to [1, 65535].
    uint32_t Squash(int x) const { return squash_[static_cast<unsigned>(x + kStretchLimit)]; }

    // Squash(x) for an index x + kStretchLimit in [0, 2 * kStretchLimit].
    uint32_t SquashAt(uint32_t index) const { return squash_[index]; }

    static int Clamp(int x) { return std::min(std::max(x, -kStretchLimit), kStretchLimit); }

  private:
    LogisticTables() {
        for (int i = 0; i < 4096; ++i) {
            const double p = (i + 0.5) / 4096.0;
            stretch_[static_cast<size_t>(i)] =
                static_cast<int16_t>(std::lround(std::log(p / (1.0 - p)) * 256.0));
        }
        for (int x = -kStretchLimit; x <= kStretchLimit; ++x) {
            const double p = 65536.0 / (1.0 + std::exp(-x / 256.0));
            long v = std::lround(p);
            if (v < 1) v = 1;
            if (v > static_cast<long>(kProbMax)) v = kProbMax;
            squash_[static_cast<size_t>(x + kStretchLimit)] = static_cast<uint16_t>(v);
        }
    }

    std::array<int16_t, 4096> stretch_{};
    std::array<uint16_t, 2 * kStretchLimit + 1> squash_{};
};

}  // namespace eks::arith
