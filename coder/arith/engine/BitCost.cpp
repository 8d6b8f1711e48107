#include "coder/arith/engine/BitCost.h"

#include <cmath>
#include <vector>

#include "coder/arith/engine/BitModel.h"

namespace eks::arith {
namespace {

constexpr std::size_t kBlock = 1 << 16;

// −log2(p / 65536) for every 16-bit probability p the model can give (1 to 65535).
const std::vector<float>& CostTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(65537);
        t[0] = 16.0f;
        for (std::size_t p = 1; p <= 65536; ++p)
            t[p] = static_cast<float>(-std::log2(static_cast<double>(p) / 65536.0));
        return t;
    }();
    return table;
}

// Stands where the range coder stands in RunKnown: it is handed P(bit == 1) in 16 bits and the
// bit, and keeps the bit's cost.
struct CostCoder {
    const float* table;
    float* out;
    void Encode(int bit, uint32_t p1) { *out++ = table[bit ? p1 : 65536u - p1]; }
};

}  // namespace

void ModelCosts(const std::uint8_t* bits, std::size_t n, int order, const CostBlockSink& sink,
                const std::function<bool()>& keepGoing) {
    BitModel model(order);
    std::vector<float> costs(n < kBlock ? n : kBlock);
    for (std::size_t first = 0; first < n; first += kBlock) {
        if (keepGoing && !keepGoing()) break;
        const std::size_t count = n - first < kBlock ? n - first : kBlock;
        CostCoder coder{CostTable().data(), costs.data()};
        model.RunKnown(bits + first, count, coder);
        sink(first, costs.data(), count);
    }
}

}  // namespace eks::arith
