#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace eks {

// An 8-bit grey picture as a decode builds it: `Height` rows of `Stride`
// bytes (a multiple of four), the top row first, a pixel's byte its grey
// level. Copies share the bytes: the window shows the very bytes that the
// next pass of a decode reads back as the previous one.
class GreyPicture {
  public:
    GreyPicture() = default;
    // A new picture, its content undefined; empty when either size is 0.
    // Checked against the memory budget first: Error PictureTooLargeMessage,
    // and nothing is made.
    static GreyPicture Make(std::uint16_t width, std::uint16_t height);

    std::uint16_t Width() const { return width_; }
    std::uint16_t Height() const { return height_; }
    std::size_t Stride() const { return stride_; }
    bool Empty() const { return !bytes_; }
    std::uint8_t* Row(int r) { return bytes_.get() + static_cast<std::size_t>(r) * stride_; }
    const std::uint8_t* Row(int r) const {
        return bytes_.get() + static_cast<std::size_t>(r) * stride_;
    }
    const std::shared_ptr<std::uint8_t[]>& Bytes() const { return bytes_; }

  private:
    std::uint16_t width_ = 0;
    std::uint16_t height_ = 0;
    std::size_t stride_ = 0;
    std::shared_ptr<std::uint8_t[]> bytes_;
};

}  // namespace eks
