#include "ui/ImageDisplay.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "core/Error.h"
#include "core/Memory.h"
#include "core/Reconstruction.h"

namespace eks {

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long num = static_cast<long long>(a) * b;
    long long q = num / c;
    const long long r = num % c;
    // Round half away from zero.
    if (2 * std::llabs(r) >= std::llabs(static_cast<long long>(c)))
        q += ((num < 0) != (c < 0)) ? -1 : 1;
    return static_cast<int>(q);
}

QVector<QRgb> CreateViewPalette() {
    QVector<QRgb> palette(256);
    for (int i = 0; i < 10; ++i)
        palette[i] = qRgb(0, 0, 0);
    for (int i = 0; i <= 235; ++i) {
        const int g = MulDiv(i, 255, 235);
        palette[10 + i] = qRgb(g, g, g);
    }
    for (int i = 246; i < 256; ++i)
        palette[i] = qRgb(255, 255, 255);
    return palette;
}

QVector<QRgb> CreateLinearPalette() {
    QVector<QRgb> palette(256);
    for (int i = 0; i < 256; ++i)
        palette[i] = qRgb(i, i, i);
    return palette;
}

const std::array<std::uint8_t, 256>& PgmIndexTable() {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v)
            t[v] = static_cast<std::uint8_t>(MulDiv(v, 235, 255) + 10);
        return t;
    }();
    return table;
}

QPoint CenterPosition(QSize page, int imageWidth, int imageHeight) {
    if (imageWidth < page.width() && imageHeight < page.height())
        return {(page.width() - imageWidth) / 2, (page.height() - imageHeight) / 2};
    return {4, 4};
}

namespace {

// A new 8-bit picture, checked against the memory budget first; an error
// that names the picture when it cannot be had.
QImage NewIndexedPicture(int width, int height, std::uint64_t alsoNeeded) {
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(height);
    CheckPictureMemory(PictureBytes(w, h) + alsoNeeded, w, h);
    QImage picture(width, height, QImage::Format_Indexed8);
    if (picture.isNull()) throw Error(PictureTooLargeMessage(w, h));
    return picture;
}

}  // namespace

QImage BuildPgmPicture(const ByteStream& file, std::size_t offset, int width, int height,
                       const std::function<void()>& rowDone) {
    if (width <= 0 || height <= 0) return QImage();
    QImage picture = NewIndexedPicture(width, height, static_cast<std::uint64_t>(width));
    picture.setColorTable(CreateViewPalette());
    const auto& table = PgmIndexTable();
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width));
    std::size_t at = std::min(offset, file.Size());
    for (int r = 0; r < height; ++r) {
        const std::size_t got = std::min(row.size(), file.Size() - at);
        if (got > 0) std::copy_n(file.Data() + at, got, row.begin());
        at += got;
        std::fill(row.begin() + static_cast<std::ptrdiff_t>(got), row.end(), 0);
        std::uint8_t* line = picture.scanLine(r);
        for (int i = 0; i < width; ++i)
            line[i] = table[row[i]];
        if (rowDone) rowDone();
    }
    return picture;
}

QImage DecodedImage(const GreyPicture& picture) {
    if (picture.Empty()) return QImage();
    using Bytes = std::shared_ptr<std::uint8_t[]>;
    auto* keep = new Bytes(picture.Bytes());
    QImage image(
        keep->get(), picture.Width(), picture.Height(), static_cast<qsizetype>(picture.Stride()),
        QImage::Format_Indexed8, [](void* bytes) { delete static_cast<Bytes*>(bytes); }, keep);
    image.setColorTable(CreateLinearPalette());
    return image;
}

QImage TitlePicture() {
    // Eight bit planes of a grey ramp, most significant at the top, over the
    // ramp itself: the window's theme in sixteen colours.
    QImage art(200, 200, QImage::Format_RGB32);
    art.fill(QColor(0, 0, 128));
    QPainter p(&art);
    for (int x = 0; x < 176; ++x) {
        const int v = x * 255 / 175;
        for (int plane = 7; plane >= 0; --plane) {
            const bool set = (v >> plane) & 1;
            const int y = 12 + (7 - plane) * 16;
            p.fillRect(12 + x, y, 1, 12, set ? QColor(255, 255, 0) : QColor(0, 0, 0));
        }
        const int g = (v / 64) * 85;  // four of the sixteen colours are greys
        p.fillRect(12 + x, 146, 1, 20, QColor(g, g, g));
    }
    p.setPen(QColor(255, 255, 255));
    QFont font("DejaVu Sans");
    font.setPixelSize(14);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(0, 170, 200, 26), Qt::AlignCenter, QStringLiteral("0 1 1 0 1 0 0 1"));
    p.end();
    QVector<QRgb> sixteen = {
        qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
        qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
        qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
        qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
    return art.convertToFormat(QImage::Format_Indexed8, sixteen, Qt::ThresholdDither);
}

}  // namespace eks
