// The model of the fast path: every input byte is 0 or 1 and is one binary decision.
//
// The context is the previous N bits (zeros before the start), so there are at most 2^N
// contexts, all in cache. Each context keeps two adaptive probabilities: a slow one whose
// rate falls as 1/(n+2) (the Krichevsky-Trofimov estimate while n is small) down to a floor
// of about 1/1000, and a fast one with a floor of about 1/32. Their sum in the logistic
// domain ("stretch"), kept in the context, is scaled by one weight shared by all contexts and
// learning fast from every decision, so that the estimate follows how predictable the data
// are just now. An adaptive probability map indexed by the last (up to seven) bits and the
// estimate turns it into the final probability. Nothing but the previous N bits and what was
// learnt from the bits already coded enters a prediction.
//
// The decoder must know each bit before it can go on, so the loop works one step ahead: while
// a bit is being decoded, the final probabilities of both contexts that can follow it are
// already made (the two differ only in that bit and sit side by side); the bit picks one,
// and nothing but that choice lies between one decision and the next. The predictions read
// the counters, the weight and the map before the current context learns from its bit; this
// differs from learning first only when the next context is the current one again (a run of
// zeros after zeros, or of ones after ones). The encoder makes the same predictions in the
// same order, so the coding stays exact.
//
// For speed, the coding loops are instantiated for every order (the masks and the layout are
// then constants), all tables and arrays live in one block reached from one pointer, and the
// weight is kept within bounds when it learns, so that an estimate always lies inside the
// tables without clamping. The loops work on local copies of their state, but x86-64 has too
// few registers for all of it: the compiler still keeps a few values of each loop on the
// stack. The decoder's decision and its choice of the next prediction are one comparison
// (RangeCoder.h), so that the chain from one bit to the next is as short as the range coder
// allows.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "coder/arith/engine/ModelTables.h"
#include "coder/arith/engine/StreamFormat.h"

// The coding loops are functions of their own: inlined into their caller, where every order's
// loop sits beside the others, the compiler kept less of their state in registers.
#if defined(__GNUC__)
#define EKS_ARITH_NOINLINE __attribute__((noinline))
#else
#define EKS_ARITH_NOINLINE
#endif

namespace eks::arith {

// The parameters of the model of format version 2. They, the tables of ModelTables.h and every
// step of the model and of the range coder make the format: any change of one of them, even
// one that looks harmless, writes other streams and makes the decoder misread the old ones.
// Such a change is a new format version (StreamFormat.h), and every earlier frozen version
// keeps decoding (a model of another version is another Params here, next to this one). The
// golden streams of the tests fail on any such change.
struct DefaultBitModelParams {
    static constexpr int kSlowLimit = 1020;  // count at which the slow rate stops falling
    static constexpr int kFastLimit = 30;    // count at which the fast rate stops falling
    static constexpr int kWeightShift = 13;  // the weight learns by error * input / 2^this
    static constexpr int kApmRate = 8;       // the map adapts by 1/2^kApmRate
    static constexpr int kApmOrder = 7;      // bits of context of the map
    static constexpr int kApmShift = 7;      // the map's cells lie 2^kApmShift apart
};

template <typename Params = DefaultBitModelParams>
class BasicBitModel {
  public:
    // Throws CodecError when the order is out of range.
    explicit BasicBitModel(int order) : order_(order) {
        CheckOrder(order);
        const size_t bytes = sizeof(Fixed) + (size_t{1} << order) * sizeof(Slot);
        arena_.reset(static_cast<Fixed*>(::operator new (bytes, std::align_val_t{64})));
        Fixed& f = *arena_;
        std::copy_n(kStretch, kStretchSize, f.stretch);
        std::copy_n(kSquash, kSquashSize, f.squash);
        for (uint32_t n = 0; n < kCounts; ++n) {
            const uint32_t fast_n = n < Params::kFastLimit ? n : Params::kFastLimit;
            f.steps[n] = CountStep{static_cast<uint16_t>(65536u / (n + 2u)),
                                   static_cast<uint16_t>(65536u / (fast_n + 2u)),
                                   static_cast<uint16_t>(n < Params::kSlowLimit ? n + 1 : n), 0};
        }
        // Every row of the map starts as the identity: a cell holds the probability of its
        // estimate.
        for (int i = 0; i < kApmStride; ++i)
            f.apm[i] = uint32_t{kSquash[std::min(i, kApmCells - 1) * kApmSpacing]} << 16;
        for (int row = 1; row < kApmRows; ++row)
            std::copy_n(f.apm, kApmStride, f.apm + row * kApmStride);
        const int32_t half = 2 * f.stretch[2048];
        Slot* slots = SlotsOf(&f);
        for (size_t i = 0; i < (size_t{1} << order); ++i)
            slots[i] = Slot{0x80000000u, 0x80000000u, half, 0};
        const Prediction first = Predict(&f, state_.weight, slots[0].sum, 0);
        state_.pred = first.pred;
        state_.cell = first.cell;
    }

    BasicBitModel(const BasicBitModel&) = delete;
    BasicBitModel& operator=(const BasicBitModel&) = delete;

    // Decodes `n` decisions with `coder` (a binary decoder whose Decode(p) takes P(bit == 1),
    // 16 bits in [1, 65535], and returns the bit) and stores them as bytes 0 and 1 at `out`.
    template <typename Coder>
    void Run(size_t n, Coder& coder, uint8_t* out) {
        Dispatch([&](auto k) { RunImpl<decltype(k)::value>(n, coder, out); });
    }

    // Encodes the `n` decisions `bits` (each 0 or 1) with `coder` (whose Encode(bit, p) takes
    // P(bit == 1) as above). The model goes exactly as in Run, but since the bits are known,
    // only the context that does follow is predicted.
    template <typename Coder>
    void RunKnown(const uint8_t* bits, size_t n, Coder& coder) {
        Dispatch([&](auto k) { RunKnownImpl<decltype(k)::value>(bits, n, coder); });
    }

  private:
    static constexpr uint32_t kCounts = Params::kSlowLimit + 1;
    // An estimate x (stretch * 256) always lies in [-kRange, kRange]: the summed inputs are at
    // most 2 * 2306 in size and the weight (the factor applied to their mean) is at most
    // kWeightMax / 2^16 = 1.5.
    static constexpr int kRange = kSquashRange;
    static constexpr int32_t kWeightMax = 3 << 15;
    static constexpr int kStretchMax = 2307;  // |ln(0.5 / 4095.5)| * 256, rounded
    static_assert(((int64_t{kWeightMax} * 2 * kStretchMax) >> 17) < kRange);
    static constexpr int kSquashSize = 2 * kRange + 1;
    static_assert(static_cast<size_t>(kSquashSize) == std::size(kSquash));
    static constexpr int kApmSpacing = 1 << Params::kApmShift;
    static constexpr int kApmCells = 2 * kRange / kApmSpacing + 1;  // an estimate's nearest cell
    static constexpr int kApmStride = (kApmCells + 7) / 8 * 8;
    static constexpr int kApmRows = 1 << Params::kApmOrder;
    static constexpr uint32_t kApmLow = 1u << 16;  // the map's probabilities, 32 bits
    static constexpr uint32_t kApmHigh = 0xFFFFu << 16;

    // 16 bytes: the probabilities (32 bits), the sum of their stretched forms (the estimate
    // before the weight, kept so that predicting needs no table look-up) and the count.
    struct Slot {
        uint32_t slow;
        uint32_t fast;
        int32_t sum;
        uint32_t count;
    };

    // What a count implies, in one look-up: the two rates and what comes after it.
    struct CountStep {
        uint16_t rate_slow;  // 65536 / (count + 2)
        uint16_t rate_fast;  // the same with the count capped at kFastLimit
        uint16_t next;       // the count after one more decision
        uint16_t padding;
    };

    // The tables and the map; the slots of the contexts follow in the same block.
    struct alignas(64) Fixed {
        int16_t stretch[kStretchSize];  // ln(p / (1 - p)) * 256 for p given with 12 bits
        uint16_t squash[kSquashSize];   // 65536 / (1 + e^(-x / 256)) at x + kRange, in [1, 65535]
        CountStep steps[kCounts];
        uint32_t apm[kApmRows * kApmStride];
    };
    static Slot* SlotsOf(Fixed* f) { return reinterpret_cast<Slot*>(f + 1); }

    struct ArenaDelete {
        void operator()(Fixed* f) const { ::operator delete (f, std::align_val_t{64}); }
    };

    struct State {
        uint32_t ctx = 0;
        // The prediction for ctx: the final probability in the low 16 bits, the estimate it
        // was made from (+ kRange) above them.
        uint32_t pred = 0;
        uint32_t cell = 0;  // the map's cell that pred was read from
        int32_t weight = 1 << 16;
    };

    // A prediction (see State::pred) and the index of the map's cell it was read from: that
    // cell learns from the bit, and carrying it saves finding it again.
    struct Prediction {
        uint32_t pred;
        uint32_t cell;
    };

    template <typename F>
    void Dispatch(F&& f) {
        DispatchFrom<0>(std::forward<F>(f));
    }
    template <int K, typename F>
    void DispatchFrom(F&& f) {
        if constexpr (K > kMaxOrder) {
            CheckOrder(order_);  // throws; not reached, the constructor has checked the order
        } else if (order_ == K) {
            f(std::integral_constant<int, K>{});
        } else {
            DispatchFrom<K + 1>(std::forward<F>(f));
        }
    }

    // The coder and the model's state are copied into local variables whose addresses are
    // never taken: the byte stores of the loops could otherwise alias them, and they would
    // have to go through memory at every decision.
    //
    // The decoder picks the prediction for the next context in the same step, with the same
    // comparison, that decodes the bit (Decode(p1, pick, if1)). It finds the cell to learn
    // from again (from the context and the estimate): carrying the cells of both predictions
    // would take more registers than the loop has free.
    template <int K, typename Coder>
    EKS_ARITH_NOINLINE void RunImpl(size_t n, Coder& coder, uint8_t* out) {
        constexpr uint32_t mask = (uint32_t{1} << K) - 1;
        // The two next contexts: adjacent slots, and adjacent rows of the map (the same ones
        // at order 0).
        constexpr uint32_t step = K > 0 ? 1 : 0;
        Fixed* const f = arena_.get();
        uint32_t ctx = state_.ctx;
        uint32_t pred = state_.pred;
        int32_t weight = state_.weight;
        Coder c = coder;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t next0 = (ctx << 1) & mask;
            const uint32_t row0 = RowOf<K>(next0);
            const Slot* const slot0 = SlotsOf(f) + next0;
            uint32_t next = Predict(f, weight, slot0->sum, row0).pred;
            const uint32_t if1 = Predict(f, weight, slot0[step].sum, row0 + step * kApmStride).pred;
            const uint32_t bit = static_cast<uint32_t>(c.Decode(pred & 0xFFFFu, next, if1)) & 1u;
            out[i] = static_cast<uint8_t>(bit);
            const uint32_t x = pred >> 16;
            weight = Learn(f, SlotsOf(f)[ctx], x, RowOf<K>(ctx) + CellOf(x), bit, weight);
            ctx = next0 | (bit & mask);
            pred = next;
        }
        coder = c;
        state_ = State{ctx, pred, RowOf<K>(ctx) + CellOf(pred >> 16), weight};
    }

    template <int K, typename Coder>
    EKS_ARITH_NOINLINE void RunKnownImpl(const uint8_t* bits, size_t n, Coder& coder) {
        constexpr uint32_t mask = (uint32_t{1} << K) - 1;
        Fixed* const f = arena_.get();
        uint32_t ctx = state_.ctx;
        uint32_t pred = state_.pred;
        uint32_t cell = state_.cell;
        int32_t weight = state_.weight;
        Coder c = coder;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t bit = bits[i] & 1u;
            const uint32_t next = ((ctx << 1) | bit) & mask;
            const Prediction p = Predict(f, weight, SlotsOf(f)[next].sum, RowOf<K>(next));
            c.Encode(static_cast<int>(bit), pred & 0xFFFFu);
            weight = Learn(f, SlotsOf(f)[ctx], pred >> 16, cell, bit, weight);
            ctx = next;
            pred = p.pred;
            cell = p.cell;
        }
        coder = c;
        state_ = State{ctx, pred, cell, weight};
    }

    // The first cell of the map's row for context `ctx`, and the cell in a row for estimate
    // `x` (+ kRange).
    template <int K>
    static uint32_t RowOf(uint32_t ctx) {
        constexpr uint32_t rows = K < Params::kApmOrder ? (uint32_t{1} << K) : kApmRows;
        return (ctx & (rows - 1)) * kApmStride;
    }
    static uint32_t CellOf(uint32_t x) { return (x + kApmSpacing / 2) >> Params::kApmShift; }

    // The prediction for a context whose summed inputs are `sum` and whose row of the map
    // starts at `row`, with the weight and the map as they are now.
    static Prediction Predict(const Fixed* f, int32_t weight, int32_t sum, uint32_t row) {
        const uint32_t x =
            static_cast<uint32_t>(static_cast<int32_t>((int64_t{weight} * sum) >> 17) + kRange);
        const uint32_t cell = row + CellOf(x);
        return {(f->apm[cell] >> 16) | (x << 16), cell};
    }

    // Context `s`, whose estimate was `x` (+ kRange) and whose prediction came from the map's
    // cell `cell`, has seen `bit`: the weight learns from the error of the estimate (squashed
    // back into a probability), the map's cell moves towards the bit and so do the counters,
    // all branch-free (the bits are hard to predict). Returns the new weight, which is first
    // used for the context after next: the prediction for the next one was made before this
    // bit was known.
    static int32_t Learn(Fixed* f, Slot& s, uint32_t x, uint32_t cell, uint32_t bit,
                         int32_t weight) {
        const int32_t err = static_cast<int32_t>(bit << 16) - static_cast<int32_t>(f->squash[x]);
        weight += (s.sum * err) >> Params::kWeightShift;
        // Kept within [0, kWeightMax]. The weight seldom reaches a bound, so this is a branch
        // that is nearly never taken rather than two conditional moves on the path from one
        // weight to the next.
        if (static_cast<uint32_t>(weight) > static_cast<uint32_t>(kWeightMax)) [[unlikely]]
            weight = weight < 0 ? 0 : kWeightMax;

        // The map's cells stay within [kApmLow, kApmHigh] (they start there, and a step
        // never passes its target), so that a final probability is always in [1, 65535].
        const int64_t apm_target = kApmLow + ((0u - bit) & (kApmHigh - kApmLow));
        uint32_t& a = f->apm[cell];
        a = static_cast<uint32_t>(a + ((apm_target - a) >> Params::kApmRate));

        const int64_t target = 0u - bit;  // 0 or 2^32 - 1

        const CountStep step = f->steps[s.count];
        const uint32_t slow =
            static_cast<uint32_t>(s.slow + (((target - s.slow) * step.rate_slow) >> 16));
        const uint32_t fast =
            static_cast<uint32_t>(s.fast + (((target - s.fast) * step.rate_fast) >> 16));
        s.slow = slow;
        s.fast = fast;
        s.sum = f->stretch[slow >> 20] + f->stretch[fast >> 20];
        s.count = step.next;
        return weight;
    }

    int order_;
    std::unique_ptr<Fixed, ArenaDelete> arena_;
    State state_;
};

using BitModel = BasicBitModel<>;

}  // namespace eks::arith
