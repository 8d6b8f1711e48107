#include "coder/arith/engine/Codec.h"

#include <algorithm>
#include <array>
#include <memory>

#include "coder/arith/engine/BitModel.h"
#include "coder/arith/engine/ByteModel.h"
#include "coder/arith/engine/Crc32c.h"
#include "coder/arith/engine/RangeCoder.h"

namespace eks::arith {
namespace {

constexpr size_t kBlockSize = size_t{1} << 18;

// A reading block, left uninitialised: only the pages that data reaches get touched.
std::unique_ptr<uint8_t[]> NewBlock() {
    return std::unique_ptr<uint8_t[]>(new uint8_t[kBlockSize]);
}

// Reads a full block unless the source ends first.
size_t ReadBlock(ByteSource& input, uint8_t* dst, size_t size) {
    size_t got = 0;
    while (got < size) {
        const size_t n = input.Read(dst + got, size - got);
        if (n == 0) break;
        got += n;
    }
    return got;
}

bool AllBits(const uint8_t* data, size_t size) {
    uint8_t acc = 0;
    for (size_t i = 0; i < size; ++i)
        acc |= data[i];
    return acc <= 1;
}

// Codes one block of input on the bits path.
void EncodeBitsBlock(const uint8_t* data, size_t n, BitModel& model, BinaryEncoder& encoder) {
    for (size_t done = 0; done < n;) {
        const size_t m = std::min(kChunkDecisions, n - done);
        BinaryEncoder::Core core = encoder.Begin();
        model.RunKnown(data + done, m, core);
        encoder.End(core);
        done += m;
    }
}

// Codes one block of input on the general path, eight decisions per byte.
void EncodeBytesBlock(const uint8_t* data, size_t n, ByteModel& model, BinaryEncoder& encoder) {
    constexpr size_t kChunkBytes = kChunkDecisions / 8;
    for (size_t done = 0; done < n;) {
        const size_t m = std::min(kChunkBytes, n - done);
        BinaryEncoder::Core core = encoder.Begin();
        for (size_t i = done; i < done + m; ++i) {
            for (int b = 7; b >= 0; --b) {
                const int bit = (data[i] >> b) & 1;
                core.Encode(bit, model.Predict());
                model.Update(bit);
            }
        }
        encoder.End(core);
        done += m;
    }
}

// Reads the input again and codes it, checking that it is what Summarize saw.
template <typename Model, typename CodeBlock>
void EncodeInput(ByteSource& input, const InputSummary& expected, bool bits, Model& model,
                 BinaryEncoder& encoder, CodeBlock code_block) {
    const auto block = NewBlock();
    Crc32c crc;
    uint64_t length = 0;
    for (;;) {
        const size_t n = ReadBlock(input, block.get(), kBlockSize);
        if (n == 0) break;
        length += n;
        if (length > expected.length || (bits && !AllBits(block.get(), n))) break;
        crc.Update(block.get(), n);
        code_block(block.get(), n, model, encoder);
    }
    if (length != expected.length || crc.Value() != expected.crc) {
        throw CodecError(CodecError::Kind::kInputChanged,
                         "plik wejściowy zmienił się w trakcie kodowania");
    }
}

[[noreturn]] void Corrupt(const char* reason) {
    throw CodecError(CodecError::Kind::kCorruptStream, reason);
}

// Collects decoded bytes and passes them on block by block, keeping the CRC.
class OutputBlock {
  public:
    explicit OutputBlock(ByteSink& sink) : sink_(sink), data_(std::make_unique<uint8_t[]>(kSize)) {}
    // Room for `n` bytes (at most kChunkDecisions); Commit(n) after filling it.
    uint8_t* Reserve(size_t n) {
        if (used_ + n > kSize) Drain();
        return data_.get() + used_;
    }
    void Commit(size_t n) { used_ += n; }
    void Drain() {
        crc_.Update(data_.get(), used_);
        sink_.Write(data_.get(), used_);
        used_ = 0;
    }
    uint32_t Crc() const { return crc_.Value(); }

  private:
    static constexpr size_t kSize = size_t{1} << 16;
    ByteSink& sink_;
    std::unique_ptr<uint8_t[]> data_;
    size_t used_ = 0;
    Crc32c crc_;
};

}  // namespace

InputSummary Summarize(ByteSource& input) {
    const auto block = NewBlock();
    InputSummary summary;
    Crc32c crc;
    for (;;) {
        const size_t n = ReadBlock(input, block.get(), kBlockSize);
        if (n == 0) break;
        summary.length += n;
        crc.Update(block.get(), n);
        if (summary.bits_only) summary.bits_only = AllBits(block.get(), n);
    }
    summary.crc = crc.Value();
    return summary;
}

StreamHeader Encode(ByteSource& input, int order, ByteSink& output) {
    CheckOrder(order);
    const InputSummary summary = Summarize(input);
    input.Rewind();
    StreamHeader header;
    header.order = order;
    header.path = summary.bits_only ? CodingPath::kBits : CodingPath::kBytes;
    header.length = summary.length;
    header.crc = summary.crc;
    const auto bytes = SerializeHeader(header);
    output.Write(bytes.data(), bytes.size());

    BinaryEncoder encoder(output);
    if (header.path == CodingPath::kBits) {
        auto model = std::make_unique<BitModel>(order);
        EncodeInput(input, summary, true, *model, encoder, EncodeBitsBlock);
    } else {
        auto model = std::make_unique<ByteModel>(order, summary.length);
        EncodeInput(input, summary, false, *model, encoder, EncodeBytesBlock);
    }
    encoder.Finish();
    return header;
}

StreamHeader Decode(ByteSource& input, ByteSink& output, const DecodeOptions& options) {
    std::array<uint8_t, kHeaderSize> raw{};
    const size_t got = ReadBlock(input, raw.data(), raw.size());
    // The version first, even when the rest of the header is missing: a later version may
    // have a shorter one.
    if (got >= kPrefixSize) CheckPrefix(std::span(raw).first<kPrefixSize>());
    if (got != raw.size()) Corrupt("plik jest za krótki, by zawierać nagłówek");
    const StreamHeader header = ParseHeader(raw);
    if (header.length > options.max_length) Corrupt("zapowiedziana długość jest za duża");
    if (options.on_header) options.on_header(header);

    BinaryDecoder decoder(input);
    OutputBlock out(output);
    if (header.path == CodingPath::kBits) {
        auto model = std::make_unique<BitModel>(header.order);
        for (uint64_t left = header.length; left > 0;) {
            const size_t m = static_cast<size_t>(std::min<uint64_t>(kChunkDecisions, left));
            uint8_t* dst = out.Reserve(m);
            BinaryDecoder::Core core = decoder.Begin();
            model->Run(m, core, dst);
            decoder.End(core);  // throws once the chunk has run past the end of the payload
            out.Commit(m);
            left -= m;
        }
    } else {
        auto model = std::make_unique<ByteModel>(header.order, header.length);
        for (uint64_t left = header.length; left > 0;) {
            const size_t m = static_cast<size_t>(std::min<uint64_t>(kChunkDecisions / 8, left));
            uint8_t* dst = out.Reserve(m);
            BinaryDecoder::Core core = decoder.Begin();
            for (size_t i = 0; i < m; ++i) {
                uint32_t c = 0;
                for (int b = 0; b < 8; ++b) {
                    const int bit = core.Decode(model->Predict());
                    model->Update(bit);
                    c = (c << 1) | static_cast<uint32_t>(bit);
                }
                dst[i] = static_cast<uint8_t>(c);
            }
            decoder.End(core);
            out.Commit(m);
            left -= m;
        }
    }
    out.Drain();
    if (!decoder.AtEnd()) Corrupt("za danymi skompresowanymi są nadmiarowe bajty");
    if (out.Crc() != header.crc) Corrupt("suma kontrolna odtworzonych danych się nie zgadza");
    return header;
}

std::vector<uint8_t> EncodeBytes(std::span<const uint8_t> data, int order) {
    MemorySource source(data);
    MemorySink sink;
    Encode(source, order, sink);
    return std::move(sink.Data());
}

std::vector<uint8_t> DecodeBytes(std::span<const uint8_t> stream, const DecodeOptions& options) {
    MemorySource source(stream);
    MemorySink sink;
    Decode(source, sink, options);
    return std::move(sink.Data());
}

}  // namespace eks::arith
