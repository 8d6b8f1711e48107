#include "analysis/Analysis.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <numbers>
#include <thread>

#include "coder/arith/engine/BitCost.h"
#include "core/Memory.h"

namespace eks {

namespace {

constexpr int kContextBits = kAnalysisMaxOrder;
constexpr std::size_t kCountBlock = std::size_t{1} << 20;

// The bit sequence of the image in one bit order; the budget's message when
// it cannot be had.
ByteStream BitsOf(const AnalysisImage& image, BitOrder bitOrder) {
    std::optional<ByteStream> bits =
        ExpandBitSequence(*image.file, image.pixelDataOffset, bitOrder, BitSequenceBudget());
    if (!bits) throw AnalysisOutOfMemory();
    return std::move(*bits);
}

// The plane a bit of the sequence belongs to, for bits `first` to
// `first + count` (n raster bytes): calls add(plane, from, to) for each run
// of one plane.
template <class Add>
void ForPlaneRuns(BitOrder order, std::uint64_t n, std::uint64_t first, std::size_t count,
                  Add add) {
    if (order == BitOrder::PixelMajor) {
        // Planes 7 to 0 repeat every eight bits; runs are single bits.
        for (std::size_t i = 0; i < count; ++i)
            add(7 - static_cast<int>((first + i) % 8), i, i + 1);
        return;
    }
    std::size_t i = 0;
    while (i < count) {
        const std::uint64_t index = first + i;
        const int plane = 7 - static_cast<int>(index / n);
        const std::uint64_t planeEnd = (index / n + 1) * n;
        const std::size_t end =
            static_cast<std::size_t>(std::min<std::uint64_t>(planeEnd - first, count));
        add(plane, i, end);
        i = end;
    }
}

// Sums of costs per plane over a block.
void AddPlaneCosts(BitOrder order, std::uint64_t n, std::uint64_t first, const float* costs,
                   std::size_t count, std::array<double, 8>& planes) {
    if (order == BitOrder::PixelMajor) {
        std::array<double, 8> sums{};
        for (std::size_t i = 0; i < count; ++i)
            sums[(first + i) % 8] += costs[i];
        for (int k = 0; k < 8; ++k)
            planes[7 - k] += sums[k];
        return;
    }
    ForPlaneRuns(order, n, first, count, [&](int plane, std::size_t from, std::size_t to) {
        double sum = 0;
        for (std::size_t i = from; i < to; ++i)
            sum += costs[i];
        planes[plane] += sum;
    });
}

// Runs the model over `bits` and sums its costs into `cost`; `perBlock`
// hears each block too.
void RunModel(const ByteStream& bits, std::uint64_t n, ModelCost& cost,
              const AnalysisControl& control, const arith::CostBlockSink& perBlock,
              std::atomic<std::uint64_t>* blocksDone) {
    const auto sink = [&](std::uint64_t first, const float* costs, std::size_t count) {
        AddPlaneCosts(cost.bitOrder, n, first, costs, count, cost.planeBits);
        if (perBlock) perBlock(first, costs, count);
        if (blocksDone) ++*blocksDone;
    };
    arith::ModelCosts(bits.Data(), bits.Size(), cost.order, sink,
                      [&control] { return !control.Cancelled(); });
    if (control.Cancelled()) throw AnalysisCancelled();
    // The planes share out every bit: their sum is the total.
    cost.totalBits = 0;
    for (const double bits : cost.planeBits)
        cost.totalBits += bits;
}

std::uint64_t BlocksOf(std::uint64_t bits) {
    constexpr std::uint64_t kModelBlock = 1 << 16;
    return (bits + kModelBlock - 1) / kModelBlock;
}

// Runs `work` on a thread of its own while the calling thread reports the
// progress every few milliseconds from the counter; rethrows what `work`
// threw.
template <class Work>
void WithProgress(const AnalysisControl& control, const std::atomic<std::uint64_t>& done,
                  std::uint64_t total, Work work) {
    if (!control.progress) {
        work();
        return;
    }
    std::exception_ptr failure;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        finished = true;
    });
    const auto report = [&] {
        const std::uint64_t d = std::min(done.load(), total);
        const double scale = total > 1000000 ? static_cast<double>(total) / 1000000 : 1.0;
        control.progress(static_cast<int>(static_cast<double>(d) / scale),
                         static_cast<int>(static_cast<double>(total) / scale));
    };
    while (!finished) {
        report();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    if (failure) std::rethrow_exception(failure);
    report();
}

// Counts of the bit that came after each context of the previous nine bits
// (zeros before the start); the context of a lower order N is the low N bits
// of it, so one pass serves every order.
class ContextCounts {
  public:
    void Add(std::uint32_t bit) {
        ++counts_[(ctx_ << 1) | bit];
        ctx_ = ((ctx_ << 1) | bit) & kMask;
    }

    ReferenceFigures Figures() const {
        ReferenceFigures figures;
        const double ln2 = std::log(2.0);
        for (int order = 1; order <= kAnalysisMaxOrder; ++order) {
            const std::uint32_t contexts = 1u << order;
            std::vector<std::uint64_t> n0(contexts), n1(contexts);
            for (std::uint32_t c = 0; c <= kMask; ++c) {
                n0[c & (contexts - 1)] += counts_[c << 1];
                n1[c & (contexts - 1)] += counts_[(c << 1) | 1];
            }
            double kt = 0, h = 0;
            for (std::uint32_t c = 0; c < contexts; ++c) {
                const double a = static_cast<double>(n0[c]), b = static_cast<double>(n1[c]);
                // KT: p(1) = (n1 + ½) / (n0 + n1 + 1) bit by bit multiplies to
                // Γ(a + ½) Γ(b + ½) / (π Γ(a + b + 1)), whatever the order of the bits.
                // An unseen context costs nothing; the logarithms may leave -1e-16 there.
                kt += std::max(0.0, (std::lgamma(a + b + 1) - std::lgamma(a + 0.5) -
                                     std::lgamma(b + 0.5) + std::log(std::numbers::pi)) /
                                        ln2);
                // H(bit | context) × bits: a·log2((a + b) / a) + b·log2((a + b) / b).
                if (a > 0) h += a * std::log2((a + b) / a);
                if (b > 0) h += b * std::log2((a + b) / b);
            }
            figures.kt[order] = kt;
            figures.condEntropy[order] = h;
        }
        return figures;
    }

  private:
    static constexpr std::uint32_t kMask = (1u << kContextBits) - 1;
    std::array<std::uint64_t, 2u << kContextBits> counts_{};
    std::uint32_t ctx_ = 0;
};

}  // namespace

std::string NothingToAnalyseMessage() {
    return "Obraz nie ma pikseli - nie ma czego analizować";
}

ReferenceFigures ComputeReferences(const std::uint8_t* bits, std::size_t n,
                                   const AnalysisControl& control) {
    ContextCounts counts;
    for (std::size_t first = 0; first < n; first += kCountBlock) {
        if (control.Cancelled()) throw AnalysisCancelled();
        const std::size_t end = std::min(n, first + kCountBlock);
        for (std::size_t i = first; i < end; ++i)
            counts.Add(bits[i] & 1u);
    }
    return counts.Figures();
}

ReferenceFigures ComputeReferences(const AnalysisImage& image, BitOrder bitOrder,
                                   const AnalysisControl& control) {
    // The bits in the order the sequence lays them out, read off the raster.
    const auto n = static_cast<std::size_t>(image.RasterBytes());
    const std::uint8_t* raster = n > 0 ? image.Raster() : nullptr;
    constexpr std::size_t kBytesPerBlock = kCountBlock / 8;
    ContextCounts counts;
    if (bitOrder == BitOrder::PixelMajor) {
        for (std::size_t first = 0; first < n; first += kBytesPerBlock) {
            if (control.Cancelled()) throw AnalysisCancelled();
            const std::size_t end = std::min(n, first + kBytesPerBlock);
            for (std::size_t j = first; j < end; ++j)
                for (int plane = 7; plane >= 0; --plane)
                    counts.Add((raster[j] >> plane) & 1u);
        }
    } else {
        for (int plane = 7; plane >= 0; --plane)
            for (std::size_t first = 0; first < n; first += kCountBlock) {
                if (control.Cancelled()) throw AnalysisCancelled();
                const std::size_t end = std::min(n, first + kCountBlock);
                for (std::size_t j = first; j < end; ++j)
                    counts.Add((raster[j] >> plane) & 1u);
            }
    }
    return counts.Figures();
}

ImageReferences ComputeImageReferences(const AnalysisImage& image, const AnalysisControl& control) {
    ImageReferences refs;
    for (const BitOrder bitOrder : {BitOrder::PixelMajor, BitOrder::PlaneMajor})
        refs.byBitOrder[bitOrder == BitOrder::PixelMajor ? 0 : 1] =
            ComputeReferences(image, bitOrder, control);
    refs.h0Bits = PixelEntropyBits(image);
    return refs;
}

double PixelEntropyBits(const AnalysisImage& image) {
    const std::uint64_t n = image.RasterBytes();
    return n > 0 ? PixelEntropyBits(image.Raster(), static_cast<std::size_t>(n)) : 0;
}

double PixelEntropyBits(const std::uint8_t* raster, std::size_t n) {
    // N · H0 = Σ over byte values of c·log2(N / c).
    std::array<std::uint64_t, 256> histogram{};
    for (std::size_t i = 0; i < n; ++i)
        ++histogram[raster[i]];
    double bits = 0;
    for (const std::uint64_t c : histogram)
        if (c > 0) bits += static_cast<double>(c) * std::log2(static_cast<double>(n) / c);
    return bits;
}

ModelCost ComputeModelCost(const AnalysisImage& image, int order, BitOrder bitOrder,
                           const AnalysisControl& control) {
    const ByteStream bits = BitsOf(image, bitOrder);
    ModelCost cost;
    cost.order = order;
    cost.bitOrder = bitOrder;
    std::atomic<std::uint64_t> done{0};
    WithProgress(control, done, BlocksOf(bits.Size()),
                 [&] { RunModel(bits, image.RasterBytes(), cost, control, {}, &done); });
    return cost;
}

CostMap ComputeCostMap(const AnalysisImage& image, int order, BitOrder bitOrder, int plane,
                       const AnalysisControl& control) {
    if (image.Pixels() == 0) throw Error(NothingToAnalyseMessage());
    CheckPictureMemory(4 * image.Pixels(), image.width, image.height);
    CostMap map;
    map.plane = plane;
    map.width = image.width;
    map.height = image.height;
    const std::uint64_t n = image.RasterBytes();
    const std::uint64_t pixels = image.Pixels();
    map.pixels.assign(static_cast<std::size_t>(pixels), std::numeric_limits<float>::quiet_NaN());
    std::fill_n(map.pixels.begin(), static_cast<std::size_t>(std::min(n, pixels)), 0.0f);
    float* const out = map.pixels.data();

    const ByteStream bits = BitsOf(image, bitOrder);
    map.cost.order = order;
    map.cost.bitOrder = bitOrder;
    // Each bit's cost goes to its pixel when the pixel is on the map and the
    // bit's plane is the one shown.
    const auto perBlock = [&](std::uint64_t first, const float* costs, std::size_t count) {
        ForPlaneRuns(bitOrder, n, first, count, [&](int p, std::size_t from, std::size_t to) {
            if (plane >= 0 && p != plane) return;
            for (std::size_t i = from; i < to; ++i) {
                const std::uint64_t index = first + i;
                const std::uint64_t pixel =
                    bitOrder == BitOrder::PixelMajor ? index / 8 : index % n;
                if (pixel < pixels) out[pixel] += costs[i];
            }
        });
    };
    std::atomic<std::uint64_t> done{0};
    WithProgress(control, done, BlocksOf(bits.Size()),
                 [&] { RunModel(bits, n, map.cost, control, perBlock, &done); });
    return map;
}

Sweep ComputeSweep(const AnalysisImage& image, const AnalysisControl& control, int threads) {
    if (image.Pixels() == 0) throw Error(NothingToAnalyseMessage());
    Sweep sweep;
    sweep.pixels = image.Pixels();
    const std::uint64_t n = image.RasterBytes();
    const ImageReferences refs = ComputeImageReferences(image, control);
    sweep.h0Bits = refs.h0Bits;
    const std::uint64_t perRun = BlocksOf(8 * n);
    const std::uint64_t total = 2 * kAnalysisMaxOrder * perRun;
    std::atomic<std::uint64_t> done{0};
    WithProgress(control, done, total, [&] {
        for (const BitOrder bitOrder : {BitOrder::PixelMajor, BitOrder::PlaneMajor}) {
            const ByteStream bits = BitsOf(image, bitOrder);
            std::vector<ModelCost> costs(kAnalysisMaxOrder);
            // The orders share the bit sequence; each thread takes the next order.
            std::atomic<int> next{0};
            std::exception_ptr failure;
            std::mutex failureMutex;
            const auto work = [&] {
                try {
                    for (int i; (i = next++) < kAnalysisMaxOrder;) {
                        costs[i].order = i + 1;
                        costs[i].bitOrder = bitOrder;
                        RunModel(bits, n, costs[i], control, {}, &done);
                    }
                } catch (...) {
                    const std::lock_guard lock(failureMutex);
                    if (!failure) failure = std::current_exception();
                    next = kAnalysisMaxOrder;
                }
            };
            std::vector<std::thread> helpers;
            for (int t = 1; t < std::max(threads, 1); ++t)
                helpers.emplace_back(work);
            work();
            for (std::thread& t : helpers)
                t.join();
            if (failure) std::rethrow_exception(failure);
            for (const ModelCost& cost : costs) {
                SweepRow row;
                row.bitOrder = bitOrder;
                row.order = cost.order;
                row.coderBits = cost.totalBits;
                row.planeBits = cost.planeBits;
                row.ktBits = refs.Of(bitOrder).kt[cost.order];
                row.condEntropyBits = refs.Of(bitOrder).condEntropy[cost.order];
                sweep.rows.push_back(row);
            }
        }
    });
    return sweep;
}

std::optional<double> BitsPerPixel(double bits, std::uint64_t pixels) {
    if (pixels == 0) return std::nullopt;
    return bits / static_cast<double>(pixels);
}

std::string SweepCsv(const Sweep& sweep, const std::string& imageField) {
    std::string csv = "image,bit_order,order,coder_bpp,kt_bpp,cond_entropy_bpp,h0_bpp";
    for (int plane = 7; plane >= 0; --plane)
        csv.append(",plane").append(std::to_string(plane)).append("_bpp");
    csv += "\n";
    const auto rate = [&](double bits) {
        const std::optional<double> bpp = BitsPerPixel(bits, sweep.pixels);
        if (!bpp) return std::string();
        // Not printf: the window runs in the user's locale, the file is '.'.
        char text[64];
        const auto end = std::to_chars(text, text + sizeof text, *bpp, std::chars_format::fixed, 6);
        return std::string(text, end.ptr);
    };
    for (const SweepRow& row : sweep.rows) {
        csv += imageField + (row.bitOrder == BitOrder::PixelMajor ? ",B," : ",P,");
        csv += std::to_string(row.order);
        for (const double bits : {row.coderBits, row.ktBits, row.condEntropyBits, sweep.h0Bits})
            csv.append(",").append(rate(bits));
        for (int plane = 7; plane >= 0; --plane)
            csv.append(",").append(rate(row.planeBits[plane]));
        csv += "\n";
    }
    return csv;
}

}  // namespace eks
