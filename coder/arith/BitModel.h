// The model of the fast path: every input byte is 0 or 1 and is one binary decision.
//
// The context is the previous N bits (zeros before the start), so there are at most 2^N
// contexts, all in cache. Each context keeps two adaptive probabilities: a slow one whose
// rate falls as 1/(n+2) (the Krichevsky-Trofimov estimate while n is small) down to a floor
// of about 1/1000, and a fast one with a floor of about 1/32. A small logistic mixer, with one
// set of weights shared by all contexts and learning fast, combines the two, and an
// adaptive probability map indexed by the last (up to eight) bits and the mixed estimate
// refines the result. Nothing but the previous N bits and what was learnt from the bits
// already coded enters a prediction.
//
// The decoder must know each bit before it can go on, so the loop works partly ahead: while
// a bit is being decoded, the mixer has already combined the counters of both contexts that
// can follow it (they differ only in that bit, and sit side by side); the bit picks one, and
// only the map's refinement is left between one decision and the next. The mixer reads the
// counters and the weights before the current context learns from its bit, and the map is
// read before it learns too; this differs from learning first only when the next context is
// the current one again (a run of zeros after zeros, or of ones after ones). Encoder and
// decoder do exactly the same, so the coding stays exact.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "Logistic.h"

namespace eks::arith {

struct DefaultBitModelParams {
    static constexpr int kSlowLimit = 1020;    // count at which the slow rate stops falling
    static constexpr int kFastLimit = 30;      // count at which the fast rate stops falling
    static constexpr int kMixerRate = 1;       // mixer learning rate
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
            const uint32_t fast_n = n < Params::kFastLimit ? n : Params::kFastLimit;
            steps_[n] = CountStep{static_cast<uint16_t>(65536u / (n + 2u)),
                                  static_cast<uint16_t>(65536u / (fast_n + 2u)),
                                  static_cast<uint16_t>(n < Params::kSlowLimit ? n + 1 : n), 0};
        }
        for (size_t c = 0; c < apm_.size(); c += kApmCells) {
            for (int i = 0; i < kApmCells; ++i) {
                const int x = (i - kApmCells / 2) * 256;
                apm_[c + static_cast<size_t>(i)] = tables.Squash(LogisticTables::Clamp(x)) * 65536u;
            }
        }
        const uint32_t st_half =
            static_cast<uint16_t>(tables.Stretch12(0x80000000u >> 20));  // both halves alike
        for (Slot& s : slots_)
            s.inputs = st_half | (st_half << 16);
        mask_ = static_cast<uint32_t>(slots_.size() - 1);
        apm_mask_ = static_cast<uint32_t>(apm_.size() / kApmCells - 1);
        const Locals m = GetLocals();
        const Refined first = Refine(m, 0, Limit(static_cast<int32_t>(Mix(m, state_, 0))));
        state_.p = first.p;
        state_.learn = first.learn;
        state_.inputs = slots_[0].inputs;
    }

    BasicBitModel(const BasicBitModel&) = delete;
    BasicBitModel& operator=(const BasicBitModel&) = delete;

    // Decodes `n` decisions: for each, `step(p)` receives P(bit == 1) (16 bits, in [1, 65535]),
    // decodes the bit with it and returns the bit. The loop keeps the whole state in local
    // variables, since this is where nearly all of the time goes.
    template <typename Step>
    void Run(size_t n, Step&& step) {
        const Locals m = GetLocals();
        State st = state_;
        for (size_t i = 0; i < n; ++i) {
            // The mixer's output for both possible next contexts, before the bit is known.
            const uint32_t next0 = (st.ctx << 1) & m.mask;
            const uint32_t mix0 = Mix(m, st, next0);
            const uint32_t mix1 = Mix(m, st, (next0 | 1u) & m.mask);
            // The map's rows of the two are adjacent too (or the same one at order 0).
            const uint32_t row0 = (next0 & m.apm_mask) * kApmCells;
            const uint32_t bit = static_cast<uint32_t>(step(st.p)) & 1u;
            const uint32_t next = (next0 | bit) & m.mask;
            const uint32_t inputs = m.slots[next].inputs;  // as the mixer read them
            const Refined r = Refine(m, row0 + (m.apm_step & (0u - bit)),
                                     Limit(static_cast<int32_t>(Pick(bit, mix0, mix1))));
            Learn(m, st, bit);
            st.ctx = next;
            st.p = r.p;
            st.learn = r.learn;
            st.inputs = inputs;
        }
        state_ = st;
    }

    // Encodes the `n` decisions `bits` (each 0 or 1): for each, `step(bit, p)` receives the
    // bit and P(bit == 1) as for Run. The model goes exactly as in Run, but since the bits are
    // known, the mixer works only for the next context that does follow.
    template <typename Step>
    void RunKnown(const uint8_t* bits, size_t n, Step&& step) {
        const Locals m = GetLocals();
        State st = state_;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t bit = bits[i] & 1u;
            const uint32_t next = ((st.ctx << 1) | bit) & m.mask;
            const uint32_t mix = Limit(static_cast<int32_t>(Mix(m, st, next)));
            const uint32_t inputs = m.slots[next].inputs;
            step(bit, st.p);
            const Refined r = Refine(m, (next & m.apm_mask) * kApmCells, mix);
            Learn(m, st, bit);
            st.ctx = next;
            st.p = r.p;
            st.learn = r.learn;
            st.inputs = inputs;
        }
        state_ = st;
    }

  private:
    static constexpr uint32_t kCounts = Params::kSlowLimit + 1;
    static constexpr int kApmCells = 25;
    // The map's cell below a mixer output x is (x + kApmOffset) >> 8.
    static constexpr int kApmOffset = (kApmCells / 2) * 256;

    // 16 bytes: the probabilities, their stretched forms (the mixer's inputs, kept so that the
    // mixer needs no table look-up) and the count.
    struct Slot {
        uint32_t slow = 0x80000000u;
        uint32_t fast = 0x80000000u;
        uint32_t inputs = 0;  // stretched slow in the low half, stretched fast in the high half
        uint32_t count = 0;
    };

    // What a count implies, in one look-up: the two rates and what comes after it.
    struct CountStep {
        uint16_t rate_slow;  // 65536 / (count + 2)
        uint16_t rate_fast;  // the same with the count capped at kFastLimit
        uint16_t next;       // the count after one more decision
        uint16_t padding;
    };

    // A final probability and what the model learns from once its bit is known: the mixer's
    // estimate in the low half of `learn`, the map's cell that learns in the high half.
    struct Refined {
        uint32_t p;
        uint32_t learn;
    };

    // The model's arrays and tables, copied into local variables for the coding loop.
    struct Locals {
        const LogisticTables* tables;
        Slot* slots;
        uint32_t* apm;
        const CountStep* steps;
        uint32_t mask;
        uint32_t apm_mask;
        uint32_t apm_step;  // from a map row to the next one, 0 at order 0
    };

    struct State {
        uint32_t ctx = 0;
        uint32_t p = 0;  // the prediction for ctx, and what it was made from
        uint32_t learn = 0;
        uint32_t inputs = 0;
        int32_t w_slow = Params::kWeightSlow;  // the mixer's weights, 16.16 fixed point
        int32_t w_fast = Params::kWeightFast;
        int32_t w_bias = 0;
    };

    // `if1` when `bit` is 1, else `if0`. Both must be ready before the bit: the empty asm
    // keeps the compiler from turning the choice into a branch that would compute only the
    // chosen one after the bit is known, on the path of every decision.
    static uint32_t Pick(uint32_t bit, uint32_t if0, uint32_t if1) {
#if defined(__GNUC__)
        __asm__("" : "+r"(if0), "+r"(if1));
#endif
        return if0 ^ ((if0 ^ if1) & (0u - bit));
    }

    static int32_t Low(uint32_t inputs) {
        return static_cast<int16_t>(inputs & 0xFFFFu);
    }
    static int32_t High(uint32_t inputs) {
        return static_cast<int16_t>(inputs >> 16);
    }

    static int32_t Add(int32_t w, int32_t delta) {
        return static_cast<int32_t>(static_cast<uint32_t>(w) + static_cast<uint32_t>(delta));
    }

    // The mixer's output for context `ctx` with the counters and weights as they are now, not
    // yet limited (see Limit).
    static uint32_t Mix(const Locals& m, const State& st, uint32_t ctx) {
        const uint32_t inputs = m.slots[ctx].inputs;
        const int64_t dot = int64_t{st.w_slow} * Low(inputs) + int64_t{st.w_fast} * High(inputs) +
                            (int64_t{st.w_bias} << 8);
        return static_cast<uint32_t>(static_cast<int32_t>(dot >> 16));
    }

    // The mixer's output limited to the stretched range, plus kStretchLimit.
    static uint32_t Limit(int32_t mixed) {
        return static_cast<uint32_t>(LogisticTables::Clamp(mixed) + kStretchLimit);
    }

    // The final probability from the mixer's output `mix` (+ kStretchLimit) and the map's row
    // starting at `row`: the mixer's estimate and the map's, interpolated between the two
    // cells around the output, blended.
    static Refined Refine(const Locals& m, uint32_t row, uint32_t mix) {
        const uint32_t pm = m.tables->SquashAt(mix);
        const uint32_t pos = mix + (kApmOffset - kStretchLimit);
        const uint32_t index = row + (pos >> 8);
        const uint32_t frac = pos & 255u;
        const uint32_t pa = static_cast<uint32_t>(
            (uint64_t{m.apm[index]} * (256 - frac) + uint64_t{m.apm[index + 1]} * frac) >> 24);
        // pm >= 1 and pa <= 65535, so p is in [1, 65535]. The map learns in the cell nearer
        // to the output.
        return Refined{(pm * (4 - Params::kApmWeight) + pa * Params::kApmWeight + 3) >> 2,
                       pm | ((index + (frac >> 7)) << 16)};
    }

    // The current context has seen `bit`: the mixer and the map learn from the error of their
    // outputs, and the counters move, branch-free (the bits are hard to predict). The mixer's
    // new weights are first used for the context after next: the output for the next one was
    // made before this bit was known. The weights wrap around rather than overflow (on real
    // data they stay far from that).
    static void Learn(const Locals& m, State& st, uint32_t bit) {
        const int32_t err =
            (static_cast<int32_t>(bit << 16) - static_cast<int32_t>(st.learn & 0xFFFFu)) *
            Params::kMixerRate;
        st.w_slow = Add(st.w_slow, (Low(st.inputs) * err) >> 14);
        st.w_fast = Add(st.w_fast, (High(st.inputs) * err) >> 14);
        st.w_bias = Add(st.w_bias, err >> 6);

        const int64_t target = bit ? int64_t{0xFFFFFFFF} : 0;
        uint32_t& a = m.apm[st.learn >> 16];
        a = static_cast<uint32_t>(a + ((target - a) >> Params::kApmRate));

        Slot& s = m.slots[st.ctx];
        const CountStep step = m.steps[s.count];
        const uint32_t slow =
            static_cast<uint32_t>(s.slow + (((target - s.slow) * step.rate_slow) >> 16));
        const uint32_t fast =
            static_cast<uint32_t>(s.fast + (((target - s.fast) * step.rate_fast) >> 16));
        s.slow = slow;
        s.fast = fast;
        s.inputs = (static_cast<uint32_t>(m.tables->Stretch12(slow >> 20)) & 0xFFFFu) |
                   (static_cast<uint32_t>(m.tables->Stretch12(fast >> 20)) << 16);
        s.count = step.next;
    }

    Locals GetLocals() {
        return Locals{&LogisticTables::Get(),
                      slots_.data(),
                      apm_.data(),
                      steps_.data(),
                      mask_,
                      apm_mask_,
                      apm_mask_ != 0 ? uint32_t{kApmCells} : 0u};
    }

    std::vector<Slot> slots_;
    std::vector<uint32_t> apm_;
    std::array<CountStep, kCounts> steps_{};
    uint32_t mask_ = 0;
    uint32_t apm_mask_ = 0;
    State state_;
};

using BitModel = BasicBitModel<>;

}  // namespace eks::arith
