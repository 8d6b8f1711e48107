#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/ByteStream.h"

namespace eks {

// The values from which one row of the results table is made.
struct TItemRec {
    std::string CurrentName;  // file name part of CurrentPath
    // Sizes are 64-bit: a decoded image of 65535 × 65535 pixels, or a file
    // of more than 2 GiB, does not fit 32 bits.
    std::int64_t SizeBefore = 0;   // bytes, column "FS Before"
    std::int64_t SizeAfter = 0;    // bytes, column "FS After"
    std::int32_t ResultWidth = 0;  // always a copy of ImageWidth (0..65535)
    std::int32_t ResultHeight = 0;
    char OpCode = 0;  // 'P', 'B', 'D', or 0 before the first job
    std::uint8_t ResultOrder = 0;
};

// The one set of values that describes the experiment in progress. The main
// window holds it for the whole run; nothing of it is saved.
struct ExperimentState {
    std::string AppDir;               // executable's directory, ending in a separator
    std::string CurrentPath;          // file chosen last in either file list
    std::int64_t SourceFileSize = 0;  // bytes
    // The whole selected PGM file, loaded once and then only read: the
    // window's image, a series and the analysis share it. Letting it go here
    // drops the window's share only. None before the first load.
    std::shared_ptr<const ByteStream> SourceStream;
    ByteStream ContainerStream;  // a container, later the decoder's output
    TItemRec Item;
    bool Busy = false;               // true while a selected file is being loaded
    std::uint16_t ImageWidth = 200;  // 200×200 is the title picture's size
    std::uint16_t ImageHeight = 200;
    std::int32_t PixelDataOffset = 0;

    // Copies the image size into the results record, widened without sign.
    void CopyImageSizeToResult() {
        Item.ResultWidth = ImageWidth;
        Item.ResultHeight = ImageHeight;
    }
};

}  // namespace eks
