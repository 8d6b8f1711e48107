#pragma once

// Where the bits go: what the coder's own model spends on every bit of an
// image's bit sequence (summed per pixel and per bit plane), and beside it
// the reference figures of a plain order-N model over the same bits.
//
// Everything here works on the bit sequence the encode job would code
// (every raster byte of the file) and needs no external program. Rates
// divide by width × height, as the results table does. Plain C++: the
// window and the command line run it off their own threads and may stop it
// through the control.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/BitSequence.h"
#include "core/ByteStream.h"
#include "core/Error.h"

namespace eks {

inline constexpr int kAnalysisMaxOrder = 9;

// Thrown when a bit sequence cannot be had; its text is the budget's.
class AnalysisOutOfMemory : public Error {
  public:
    AnalysisOutOfMemory() : Error(kOutOfMemoryMessage) {}
};

// Thrown when the control asks the analysis to stop.
class AnalysisCancelled : public Error {
  public:
    AnalysisCancelled() : Error("przerwano") {}
};

// What the caller hears and says while an analysis runs. Both may be left
// empty; `progress` gets the work done so far and the whole, in steps that
// need not be equal. `cancel` is read between blocks of bits.
struct AnalysisControl {
    std::function<void(int done, int total)> progress;
    const std::atomic<bool>* cancel = nullptr;
    bool Cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

// The image an analysis works on: its own copy of the file's bytes, the
// raster's start and the size its header gives.
struct AnalysisImage {
    std::shared_ptr<const ByteStream> file;
    std::size_t pixelDataOffset = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::string name;  // the file's name, for what is saved of the analysis

    std::uint64_t RasterBytes() const {
        return file && file->Size() > pixelDataOffset ? file->Size() - pixelDataOffset : 0;
    }
    std::uint64_t Pixels() const { return std::uint64_t{width} * height; }
    const std::uint8_t* Raster() const { return file->Data() + pixelDataOffset; }
};

// The text for an image that has nothing to analyse (0 pixels).
std::string NothingToAnalyseMessage();

// ----------------------------------------------------------- reference figures

// The figures of a plain order-N model over one bit sequence, in bits (not
// rates), for the orders 1 to kAnalysisMaxOrder (index = order; index 0 is
// unused).
struct ReferenceFigures {
    // Adaptive Krichevsky–Trofimov code length, counts never forgotten.
    std::array<double, kAnalysisMaxOrder + 1> kt{};
    // Empirical conditional entropy H(bit | previous N bits) × number of bits.
    std::array<double, kAnalysisMaxOrder + 1> condEntropy{};
};

// Counts the bit sequence once (the context of the previous nine bits, zeros
// before the start) and gives the figures of every order from those counts.
ReferenceFigures ComputeReferences(const std::uint8_t* bits, std::size_t n,
                                   const AnalysisControl& control = {});

// The same for the image's bit sequence in one bit order, counted from the
// raster bytes as they stand: the sequence itself is never built. Throws
// AnalysisCancelled.
ReferenceFigures ComputeReferences(const AnalysisImage& image, BitOrder bitOrder,
                                   const AnalysisControl& control = {});

// Everything the references of one image are: the figures of both bit orders
// and the raster's N · H0, each counted once.
struct ImageReferences {
    std::array<ReferenceFigures, 2> byBitOrder;  // 0: pixel order (B), 1: plane order (P)
    double h0Bits = 0;

    const ReferenceFigures& Of(BitOrder bitOrder) const {
        return byBitOrder[bitOrder == BitOrder::PixelMajor ? 0 : 1];
    }
};

// The references of the image, worked out once for everyone who shows them:
// the chart, the series and the sweep. Throws AnalysisCancelled.
ImageReferences ComputeImageReferences(const AnalysisImage& image,
                                       const AnalysisControl& control = {});

// N · H0 of the raster bytes' histogram, in bits: what a memoryless pixel
// coder would need for the n bytes (of the image's raster).
double PixelEntropyBits(const std::uint8_t* raster, std::size_t n);
double PixelEntropyBits(const AnalysisImage& image);

// ------------------------------------------------------------ failures

// Why an analysis gave nothing.
enum class AnalysisFailure {
    None,
    Cancelled,    // the control asked it to stop
    OutOfMemory,  // a bit sequence or a block could not be had
    Other,        // another error; the text says which
};

// What an analysis gave, or why it gave nothing, for callers that go on
// after a failure (a series' step).
template <class T>
struct AnalysisResult {
    std::optional<T> value;
    AnalysisFailure failure = AnalysisFailure::None;
    std::string text;  // the failure's text; kOutOfMemoryMessage for want of memory
};

// Runs `work` and gives its value, or the failure its exception stands for.
template <class Work>
auto TryAnalysis(Work&& work) -> AnalysisResult<decltype(work())> {
    AnalysisResult<decltype(work())> result;
    try {
        result.value.emplace(work());
    } catch (const AnalysisCancelled& e) {
        result.failure = AnalysisFailure::Cancelled;
        result.text = e.what();
    } catch (const AnalysisOutOfMemory&) {
        result.failure = AnalysisFailure::OutOfMemory;
        result.text = kOutOfMemoryMessage;
    } catch (const std::bad_alloc&) {
        result.failure = AnalysisFailure::OutOfMemory;
        result.text = kOutOfMemoryMessage;
    } catch (const std::exception& e) {
        result.failure = AnalysisFailure::Other;
        result.text = e.what();
    }
    return result;
}

// ------------------------------------------------------------- model costs

// What the model spends, at one order and bit order, in bits.
struct ModelCost {
    int order = 1;
    BitOrder bitOrder = BitOrder::PlaneMajor;
    double totalBits = 0;
    std::array<double, 8> planeBits{};  // index = bit plane, 0 (least significant) to 7
};

// The cost of each pixel at one order and bit order: the sum of its eight
// bits' costs, or, with `plane` from 0 to 7, of that plane's bit only.
// Pixels without raster bytes hold NaN ("brak danych"); costs of bytes past
// width × height count in `cost`'s totals only.
struct CostMap {
    ModelCost cost;
    int plane = -1;  // -1: all eight bits
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::vector<float> pixels;  // width × height, row by row
};

// Runs the model over the image's bit sequence (built here, one bit order at
// a time) and gives its costs; with `map`, also the cost map. Throws
// AnalysisCancelled, and Error with the budget's message for a map over the
// memory budget.
ModelCost ComputeModelCost(const AnalysisImage& image, int order, BitOrder bitOrder,
                           const AnalysisControl& control = {});
CostMap ComputeCostMap(const AnalysisImage& image, int order, BitOrder bitOrder, int plane,
                       const AnalysisControl& control = {});

// ------------------------------------------------------------------ sweep

// One row of the sweep: the coder's model and the references at one order
// and bit order, in bits.
struct SweepRow {
    BitOrder bitOrder = BitOrder::PlaneMajor;
    int order = 1;
    double coderBits = 0;
    double ktBits = 0;
    double condEntropyBits = 0;
    std::array<double, 8> planeBits{};
};

struct Sweep {
    std::uint64_t pixels = 0;    // width × height: what every rate divides by
    double h0Bits = 0;           // N · H0 of the raster bytes
    std::vector<SweepRow> rows;  // B before P, orders ascending
};

// Orders 1 to 9 in both bit orders: the model run and the counts of each,
// on up to `threads` threads. Throws AnalysisCancelled.
Sweep ComputeSweep(const AnalysisImage& image, const AnalysisControl& control = {},
                   int threads = 2);

// A rate in bits per pixel: bits / pixels, or nothing without pixels.
std::optional<double> BitsPerPixel(double bits, std::uint64_t pixels);

// The sweep and the plane costs as CSV ('.' decimals, six places):
// "image,bit_order,order,coder_bpp,kt_bpp,cond_entropy_bpp,h0_bpp,plane7_bpp,...,plane0_bpp";
// `imageField` is the image's name as a CSV field, the same in every row.
std::string SweepCsv(const Sweep& sweep, const std::string& imageField);

}  // namespace eks
