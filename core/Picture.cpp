#include "core/Picture.h"

#include <new>

#include "core/Error.h"
#include "core/Memory.h"
#include "core/Reconstruction.h"

namespace eks {

GreyPicture GreyPicture::Make(std::uint16_t width, std::uint16_t height) {
    GreyPicture picture;
    if (width == 0 || height == 0) return picture;
    const std::uint64_t bytes = PictureBytes(width, height);
    CheckPictureMemory(bytes, width, height);
    try {
        picture.bytes_.reset(new std::uint8_t[bytes]);
    } catch (const std::bad_alloc&) {
        throw Error(PictureTooLargeMessage(width, height));
    }
    picture.width_ = width;
    picture.height_ = height;
    picture.stride_ = static_cast<std::size_t>(bytes / height);
    return picture;
}

}  // namespace eks
