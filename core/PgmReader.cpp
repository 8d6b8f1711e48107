#include "core/PgmReader.h"

#include "core/Error.h"

namespace eks {

namespace {

bool IsDigit(std::uint8_t b) {
    return b >= '0' && b <= '9';
}

// Reads the header one byte at a time. Every step stops at the end of the
// data: a read past it ends the scan with an error.
class HeaderScanner {
  public:
    HeaderScanner(const ByteStream& file, const std::string& path, PgmHeader& out)
        : data_(file.Data()), size_(file.Size()), path_(path), out_(out) {}

    void Run() {
        // The magic line: its first byte is skipped whatever it is, then
        // everything up to a line break. It is never compared with "P5", on
        // purpose: a text-form file (P2) is read as if it were raw.
        Next();
        do
            Next();
        while (IsNotLineBreak(cur_));
        SkipLineBreaks();
        // Comment lines are recognised only here, directly after the magic.
        while (cur_ == '#') {
            do
                Next();
            while (IsNotLineBreak(cur_));
            SkipLineBreaks();
        }

        // The container keeps each side in 16 bits: a larger image would be
        // coded under a size that does not describe its stream, and every
        // figure made from that size would be wrong. It is refused once both
        // sides are known, so that the message names the whole size.
        const std::int32_t width = ReadNumber();
        if (width <= kMaxImageSide) out_.width = static_cast<std::uint16_t>(width);

        // Anything that is not a digit separates width from height.
        while (!IsDigit(cur_))
            Next();

        const std::int32_t height = ReadNumber();
        if (width > kMaxImageSide || height > kMaxImageSide)
            throw Error(ImageTooLargeMessage(width, height));
        out_.height = static_cast<std::uint16_t>(height);

        // The maximum value is read only from the line after the size, and
        // dropped: every raster byte is a grey level 0..255 (intended, whatever
        // the header says).
        if (IsLineBreak(cur_)) {
            SkipLineBreaks();
            while (IsDigit(cur_))
                Next();
        }

        // At most one line break (CR LF counting as one) separates the
        // header from the raster; a raster may begin with 10 or 13.
        const std::size_t p = pos_ - 1;
        std::size_t offset = p;
        if (cur_ == 10) {
            offset = p + 1;
        } else if (cur_ == 13) {
            const bool crlf = p + 1 < size_ && data_[p + 1] == 10;
            offset = crlf ? p + 2 : p + 1;
        }
        out_.pixelDataOffset = offset;
    }

  private:
    void Next() {
        if (pos_ >= size_) throw Error(TruncatedPgmHeaderMessage(path_));
        cur_ = data_[pos_++];
    }

    void SkipLineBreaks() {
        do
            Next();
        while (IsLineBreak(cur_));
    }

    // Gathers the digits from the current byte on and converts them to a
    // signed 32-bit number.
    std::int32_t ReadNumber() {
        std::string text;
        while (IsDigit(cur_)) {
            text.push_back(static_cast<char>(cur_));
            Next();
        }
        std::int64_t value = 0;
        for (char c : text) {
            value = value * 10 + (c - '0');
            if (value > INT32_MAX) throw Error(NotValidIntegerMessage(text));
        }
        if (text.empty()) throw Error(NotValidIntegerMessage(text));
        return static_cast<std::int32_t>(value);
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    const std::string& path_;
    PgmHeader& out_;
    std::uint8_t cur_ = 0;
};

}  // namespace

std::string ImageTooLargeMessage(std::int64_t width, std::int64_t height) {
    return "Obraz " + std::to_string(width) + "×" + std::to_string(height) +
           " jest za duży: szerokość i wysokość mogą mieć najwyżej " +
           std::to_string(kMaxImageSide) + " pikseli";
}

std::string TruncatedPgmHeaderMessage(const std::string& path) {
    return "Niepełny nagłówek PGM: plik " + path + " kończy się przed danymi obrazu";
}

PgmHeader ParsePgmHeader(const ByteStream& file, const std::string& path) {
    PgmHeader header;
    try {
        HeaderScanner(file, path, header).Run();
    } catch (const Error& e) {
        header.error = e.what();
    }
    return header;
}

void ApplyPgmHeader(ExperimentState& state, const PgmHeader& header) {
    if (header.width) {
        state.ImageWidth = *header.width;
        state.Item.ResultWidth = state.ImageWidth;
    }
    if (header.height) {
        state.ImageHeight = *header.height;
        state.Item.ResultHeight = state.ImageHeight;
    }
    if (!header.Whole()) throw Error(header.error);
    state.PixelDataOffset = static_cast<std::int32_t>(header.pixelDataOffset);
}

void ScanPgmHeader(ExperimentState& state) {
    static const ByteStream kNoBytes{};
    ApplyPgmHeader(state, ParsePgmHeader(state.SourceStream ? *state.SourceStream : kNoBytes,
                                         state.CurrentPath));
}

}  // namespace eks
