// What each decision costs under the model of the fast path: the model that arith-n.exe runs,
// with its frozen parameters, driven over a known bit sequence with a "coder" that keeps the
// cost of each decision instead of coding it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace eks::arith {

// Receives the costs of consecutive decisions, in bits: −log2 of the probability the model
// gave the bit that came. `first` is the index of costs[0] in the whole sequence.
using CostBlockSink =
    std::function<void(std::uint64_t first, const float* costs, std::size_t count)>;

// Runs the model of `order` (0 to kMaxOrder) over the `n` decisions `bits` (bytes 0 and 1)
// exactly as Encode codes them, handing the costs to `sink` a block at a time (never all of
// them at once); the sink sums what it needs. `keepGoing`, when given, is asked between blocks;
// false stops the run early. Throws CodecError for an order out of range.
void ModelCosts(const std::uint8_t* bits, std::size_t n, int order, const CostBlockSink& sink,
                const std::function<bool()>& keepGoing = {});

}  // namespace eks::arith
