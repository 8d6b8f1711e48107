#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/ByteStream.h"
#include "core/Error.h"
#include "core/ExperimentState.h"

namespace eks {

// A container file: width (2 bytes), height (2 bytes), both little-endian,
// the mode byte, then the coder's output unchanged up to the end of the file.
// Mode bits 0..3 hold the coder order, bit 4 is set for plane order; a reader
// takes every mode of 16 or more as plane order.
inline constexpr std::size_t kContainerHeaderSize = 5;

// The operation letter of an encode: 'B' in pixel order, 'P' in plane order.
constexpr char EncodeOpCode(bool pixelMajor) {
    return pixelMajor ? 'B' : 'P';
}

constexpr std::uint8_t ContainerModeByte(std::uint8_t order, bool pixelMajor) {
    return pixelMajor ? order : static_cast<std::uint8_t>(order + 16);
}

constexpr bool ModeIsPlaneMajor(std::uint8_t mode) {
    return (mode >> 4) != 0;
}
constexpr std::uint8_t ModeOrder(std::uint8_t mode) {
    return mode & 15;
}

// The five header bytes.
struct ContainerHeader {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t mode = 0;
};

// The container's name for a PGM file: the file name cut before its first
// ".", then "_B" (pixel order) or "_P" (plane order), the order in decimal and
// ".ybq". obraz.pgm, order 3, plane order: obraz_P3.ybq.
std::string ContainerName(const std::string& pgmPath, bool pixelMajor, int order);

// The full path of a container in the results directory.
std::string ContainerPath(const std::string& appDir, const std::string& name);

// The five header bytes followed by the payload.
ByteStream MakeContainer(std::uint16_t width, std::uint16_t height, std::uint8_t mode,
                         const ByteStream& payload);

// The header of the container held in `file`; Error ShortContainerMessage
// (path names the file) when it has fewer than five bytes.
ContainerHeader ParseContainerHeader(const ByteStream& file, const std::string& path);

// The container's own file could not be written.
class ContainerNotCreatable : public Error {
  public:
    using Error::Error;
};

// Loads the coder's output from coderOutputPath (Error "Cannot open file
// <path>" when it cannot be opened) and, when it holds at least one byte,
// writes it with the header as the container at containerPath
// (ContainerNotCreatable "Cannot create file <path>"; never a truncated
// container). Returns the container's
// size, or nothing when the coder's output is empty and nothing was written.
std::optional<std::int64_t> WriteContainerFile(const std::string& coderOutputPath,
                                               const std::string& containerPath,
                                               const ContainerHeader& header);

// Writes the header and `payload` (the coder's output, at least one byte) as
// the container at containerPath, a name the program makes itself: a link or
// a stale file standing there is replaced, never written through. Throws
// ContainerNotCreatable; returns the container's size.
std::int64_t WriteContainer(const ByteStream& payload, const std::string& containerPath,
                            const ContainerHeader& header);

// What reading a container's header sets: ImageWidth, ImageHeight,
// SizeBefore (the file's size), ResultWidth, ResultHeight,
// ResultOrder (mode AND 15) and OpCode 'D'.
void ApplyContainerHeader(ExperimentState& state, const ContainerHeader& header,
                          std::int64_t fileSize);

std::string ShortContainerMessage(const std::string& path);

}  // namespace eks
