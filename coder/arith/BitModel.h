// The model of the fast path: every input byte is 0 or 1 and is one binary decision.
//
// The context is the previous N bits (zeros before the start), so there are at most 2^N
// contexts, all in cache. Each context keeps two adaptive probabilities: a slow one whose
// rate falls as 1/(n+2) (the Krichevsky-Trofimov estimate while n is small) down to a floor
// of about 1/1000, and a fast one with a floor of about 1/32. A small logistic mixer, whose
// weight set is chosen by how often the context has been seen, combines the two, and an
// adaptive probability map indexed by the last (up to eight) bits and the mixed estimate
// refines the result. Nothing but the previous N bits and what was learnt from the bits
// already coded enters a prediction.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "Logistic.h"

namespace eks::arith {

struct DefaultBitModelParams {
    static constexpr int kSlowLimit = 1020;    // count at which the slow rate stops falling
    static constexpr int kFastLimit = 30;      // count at which the fast rate stops falling
    static constexpr int kMixerRate = 2;       // mixer learning rate
    static constexpr int kApmRate = 7;         // the map adapts by 1/2^kApmRate
    static constexpr int kApmWeight = 3;       // share of the map in the final estimate, of 4
    static constexpr int kApmOrder = 8;        // bits of context of the map
    static constexpr int kWeightSlow = 45000;  // initial mixer weights, 16.16 fixed point
    static constexpr int kWeightFast = 20000;
};

template <typename Params = DefaultBitModelParams>
class BasicBitModel {
  public:
    explicit BasicBitModel(int order)
        : slots_(size_t{1} << order),
          apm_((size_t{1} << (order < Params::kApmOrder ? order : Params::kApmOrder)) * kApmCells) {
        const LogisticTables& tables = LogisticTables::Get();
        for (uint32_t n = 0; n < kCounts; ++n) {
            recip_[n] = 65536u / (n + 2u);
            weight_set_[n] = static_cast<uint8_t>(
                n < 1
                    ? 0
                    : (n < 3 ? 1 : (n < 8 ? 2 : (n < 24 ? 3 : (n < 80 ? 4 : (n < 300 ? 5 : 6))))));
        }
        for (auto& set : weights_)
            set = {Params::kWeightSlow, Params::kWeightFast, 0, 0};
        for (size_t c = 0; c < apm_.size(); c += kApmCells) {
            for (int i = 0; i < kApmCells; ++i) {
                const int x = (i - kApmCells / 2) * 256;
                apm_[c + static_cast<size_t>(i)] = tables.Squash(LogisticTables::Clamp(x)) * 65536u;
            }
        }
        const int16_t st_half = static_cast<int16_t>(tables.Stretch12(0x80000000u >> 20));
        for (Slot& s : slots_)
            s.st_slow = s.st_fast = st_half;
        state_.mask = static_cast<uint32_t>(slots_.size() - 1);
        state_.apm_mask = static_cast<uint32_t>(apm_.size() / kApmCells - 1);
        state_.pending_w = weights_[0].data();
    }

    BasicBitModel(const BasicBitModel&) = delete;
    BasicBitModel& operator=(const BasicBitModel&) = delete;

    // Codes `n` decisions: for each, `step(p)` receives P(bit == 1) (16 bits, in [1, 65535]),
    // codes or decodes the bit with it and returns the bit. The loop keeps the whole state in
    // local variables, since this is where nearly all of the time goes.
    template <typename Step>
    void Run(size_t n, Step&& step) {
        const LogisticTables& tables = LogisticTables::Get();
        Slot* const slots = slots_.data();
        uint32_t* const apm = apm_.data();
        int32_t* const weights = weights_[0].data();
        const uint32_t* const recip = recip_.data();
        const uint8_t* const weight_set = weight_set_.data();
        State st = state_;
        for (size_t i = 0; i < n; ++i) {
            Slot& s = slots[st.ctx];
            // Predict.
            const int64_t st_slow = s.st_slow;
            const int64_t st_fast = s.st_fast;
            int32_t* const w = weights + 4 * s.weight_set;
            const int64_t dot = w[0] * st_slow + w[1] * st_fast + (int64_t{w[2]} << 8);
            const int mixed = LogisticTables::Clamp(static_cast<int>(dot >> 16));
            const uint32_t pm = tables.Squash(mixed);
            const int pos = mixed + (kApmCells / 2) * 256;  // >= 0
            uint32_t* const cell = apm + (st.ctx & st.apm_mask) * kApmCells + (pos >> 8);
            const uint32_t frac = static_cast<uint32_t>(pos & 255);
            const uint32_t pa = static_cast<uint32_t>(
                (uint64_t{cell[0]} * (256 - frac) + uint64_t{cell[1]} * frac) >> 24);
            const uint32_t p =
                (pm * (4 - Params::kApmWeight) + pa * Params::kApmWeight) >> 2;  // <= 65535

            const int bit = step(p > 1 ? p : 1);

            // Update the counters, branch-free: the bits are hard to predict.
            const uint32_t count = s.count;
            const int64_t target = bit ? int64_t{0xFFFFFFFF} : 0;
            const uint32_t rf = recip[count < Params::kFastLimit ? count : Params::kFastLimit];
            s.slow = static_cast<uint32_t>(s.slow + (((target - s.slow) * recip[count]) >> 16));
            s.fast = static_cast<uint32_t>(s.fast + (((target - s.fast) * rf) >> 16));
            s.st_slow = static_cast<int16_t>(tables.Stretch12(s.slow >> 20));
            s.st_fast = static_cast<int16_t>(tables.Stretch12(s.fast >> 20));
            if (count < Params::kSlowLimit) {
                s.count = static_cast<uint16_t>(count + 1);
                s.weight_set = weight_set[count + 1];
            }
            // The mixer learns one decision late: the weights move by the previous decision's
            // error, so that the next prediction need not wait for this one's.
            // The weights are kept within +-256 so that no input can make them overflow.
            st.pending_w[0] =
                ClampWeight(st.pending_w[0] + ((st.pending_slow * st.pending_err) >> 14));
            st.pending_w[1] =
                ClampWeight(st.pending_w[1] + ((st.pending_fast * st.pending_err) >> 14));
            st.pending_w[2] = ClampWeight(st.pending_w[2] + ((256 * st.pending_err) >> 14));
            st.pending_w = w;
            st.pending_slow = st_slow;
            st.pending_fast = st_fast;
            st.pending_err = ((bit << 16) - static_cast<int64_t>(pm)) * Params::kMixerRate;
            // The map learns in the cell nearer to the mixed estimate.
            uint32_t& a = cell[frac >> 7];
            a = static_cast<uint32_t>(a + ((target - a) >> Params::kApmRate));

            st.ctx = ((st.ctx << 1) | static_cast<uint32_t>(bit)) & st.mask;
        }
        state_ = st;
    }

  private:
    static constexpr uint32_t kCounts = Params::kSlowLimit + 1;
    static constexpr int kApmCells = 25;

    // 16 bytes: the probabilities, their stretched forms (kept so that a prediction needs no
    // table look-up before the mixer), the count and the weight set it selects.
    struct Slot {
        uint32_t slow = 0x80000000u;
        uint32_t fast = 0x80000000u;
        int16_t st_slow = 0;
        int16_t st_fast = 0;
        uint16_t count = 0;
        uint16_t weight_set = 0;
    };

    static int32_t ClampWeight(int64_t w) {
        constexpr int64_t kLimit = int64_t{1} << 24;
        return static_cast<int32_t>(w < -kLimit ? -kLimit : (w > kLimit ? kLimit : w));
    }

    struct State {
        uint32_t ctx = 0;
        uint32_t mask = 0;
        uint32_t apm_mask = 0;
        int32_t* pending_w = nullptr;
        int64_t pending_slow = 0;
        int64_t pending_fast = 0;
        int64_t pending_err = 0;
    };

    std::vector<Slot> slots_;
    std::vector<uint32_t> apm_;
    std::array<std::array<int32_t, 4>, 7> weights_{};
    std::array<uint32_t, kCounts> recip_{};
    std::array<uint8_t, kCounts> weight_set_{};
    State state_;
};

using BitModel = BasicBitModel<>;

}  // namespace eks::arith
