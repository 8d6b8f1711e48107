#pragma once

// The pictures of the window: 8-bit indexed images with grey palettes, the
// mapping of PGM values onto the view palette and the placing of the picture
// in its page.

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QVector>
#include <array>
#include <cstdint>
#include <functional>

#include "core/ByteStream.h"
#include "core/Picture.h"

namespace eks {

// a × b / c without overflow of the product, rounded to the nearest
// integer, a half away from zero; −1 when c is 0.
int MulDiv(int a, int b, int c);

// The palette for PGM files: entries 10 to 245 a grey ramp from black to
// white (entry 10 + i is grey MulDiv(i, 255, 235)); entries 0 to 9 and 246 to
// 255, which no pixel uses, black and white.
QVector<QRgb> CreateViewPalette();

// The palette for decoded images: entry i is grey i.
QVector<QRgb> CreateLinearPalette();

// For a PGM value v, the index MulDiv(v, 235, 255) + 10 of the view palette.
const std::array<std::uint8_t, 256>& PgmIndexTable();

// Where the picture goes in a page of the given size: centred (rounded down)
// when it is strictly smaller both ways, otherwise at 4,4.
QPoint CenterPosition(QSize page, int imageWidth, int imageHeight);

// A new display image of width × height with the view palette, filled row by
// row from the file's byte `offset` on through the PGM index table; pixels the
// file no longer holds are black. rowDone runs after every row. An empty
// image gives a null picture; one that does not fit the memory budget, or
// cannot be had, throws Error naming its size and makes nothing.
QImage BuildPgmPicture(const ByteStream& file, std::size_t offset, int width, int height,
                       const std::function<void()>& rowDone = {});

// A decoded picture for the display, with the linear palette. It shares the
// picture's bytes rather than copying them; null for an empty picture.
QImage DecodedImage(const GreyPicture& picture);

// The 200×200, 16-colour picture shown before any image is loaded.
QImage TitlePicture();

}  // namespace eks
