// SPDX-License-Identifier: MIT
#include "platform/interface/BitmapDrawing.h"

#include <QImage>
#include <QRgb>
#include <QRgba64>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/ImageLimits.h"

namespace {

// A rectangle of whole pixels, inclusive edges, in a bitmap's buffer (0 is the first
// column or row).
struct PixelRect {
    int64 left = 0;
    int64 top = 0;
    int64 right = -1;
    int64 bottom = -1;

    bool IsEmpty() const { return right < left || bottom < top; }
    int64 Width() const { return right - left + 1; }
    int64 Height() const { return bottom - top + 1; }
    PixelRect Intersect(const PixelRect& other) const {
        return {std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
                std::min(bottom, other.bottom)};
    }
};

// Coordinates beyond this are no rectangle any bitmap could show.
constexpr float kLargestCoordinate = float(int64(1) << 40);

bool IsSaneCoordinate(float value) {
    return std::isfinite(value) && std::fabs(value) <= kLargestCoordinate;
}

// The pixels a rectangle covers, each edge rounded to the nearest pixel, relative to
// `origin` (the bitmap's bounds' left top). False for a rectangle with an unusable edge.
bool ToPixels(BRect rect, BPoint origin, PixelRect* pixels) {
    for (float edge : {rect.left, rect.top, rect.right, rect.bottom, origin.x, origin.y}) {
        if (!IsSaneCoordinate(edge)) {
            return false;
        }
    }
    pixels->left = std::llround(double(rect.left) - origin.x);
    pixels->top = std::llround(double(rect.top) - origin.y);
    pixels->right = std::llround(double(rect.right) - origin.x);
    pixels->bottom = std::llround(double(rect.bottom) - origin.y);
    return true;
}

bool HasAlpha(color_space space) {
    return space == B_RGBA32 || space == B_RGBA32_BIG;
}

bool IsBigEndianSpace(color_space space) {
    return space == B_RGB32_BIG || space == B_RGBA32_BIG;
}

const uchar* RowOf(const BBitmap& bitmap, int64 y) {
    return static_cast<const uchar*>(bitmap.Bits()) + size_t(y) * size_t(bitmap.BytesPerRow());
}

// Pixel x of a row as a 0xAARRGGBB word.
uint32 ReadPixel(const uchar* row, int64 x, bool swap) {
    uint32 word;
    std::memcpy(&word, row + size_t(x) * 4, 4);
    return swap ? __builtin_bswap32(word) : word;
}

// True when every pixel of a picture with alpha is opaque: such a picture takes the
// exact opaque path. (Qt's 8-bit premultiplied scaling can lose one level of alpha, which
// would make an opaque picture slightly transparent.)
bool IsOpaque(const BBitmap& bitmap) {
    const size_t alphaByte = IsBigEndianSpace(bitmap.ColorSpace()) ? 0 : 3;
    for (uint32 y = 0; y < bitmap.PixelHeight(); y++) {
        const uchar* row = RowOf(bitmap, y);
        uchar all = 0xff;
        for (uint32 x = 0; x < bitmap.PixelWidth(); x++) {
            all &= row[size_t(x) * 4 + alphaByte];
        }
        if (all != 0xff) {
            return false;
        }
    }
    return true;
}

// The source as Qt reads it, in Qt's 32-bit format `wrapped`: a little-endian source in
// place, a byte-swapped one turned around into a copy.
QImage SourceImage(const BBitmap& source, QImage::Format wrapped) {
    const int width = int(source.PixelWidth());
    const int height = int(source.PixelHeight());
    if (!IsBigEndianSpace(source.ColorSpace())) {
        return QImage(RowOf(source, 0), width, height, source.BytesPerRow(), wrapped);
    }
    QImage copy(width, height, wrapped);
    if (copy.isNull()) {
        return copy;
    }
    for (int y = 0; y < height; y++) {
        const uchar* from = RowOf(source, y);
        auto* to = reinterpret_cast<uint32*>(copy.scanLine(y));
        for (int x = 0; x < width; x++) {
            to[x] = ReadPixel(from, x, true);
        }
    }
    return copy;
}

// A premultiplied 16-bit pixel as a straight 8-bit 0xAARRGGBB word: one division per
// pixel rather than Qt's one per channel. An opaque pixel comes back exactly.
uint32 Unpremultiplied(QRgba64 pixel) {
    const uint32 alpha = pixel.alpha();
    if (alpha == 0) {
        return 0;
    }
    const float scale = 255.0f / float(alpha);
    const auto channel = [scale](uint32 value) {
        return std::min(uint32(float(value) * scale + 0.5f), 255u);
    };
    return (uint32(pixel.alpha8()) << 24) | (channel(pixel.red()) << 16) |
           (channel(pixel.green()) << 8) | channel(pixel.blue());
}

// Turns `count` pixels of a row into straight 0xAARRGGBB words.
void ReadResampledRow(QImage::Format format, const uchar* line, int64 first, int64 count,
                      uint32* out) {
    switch (format) {
        case QImage::Format_RGBA64_Premultiplied: {
            const auto* from = reinterpret_cast<const QRgba64*>(line) + first;
            for (int64 x = 0; x < count; x++) {
                out[x] = Unpremultiplied(from[x]);
            }
            break;
        }
        case QImage::Format_ARGB32_Premultiplied: {
            const auto* from = reinterpret_cast<const uint32*>(line) + first;
            for (int64 x = 0; x < count; x++) {
                out[x] = qUnpremultiply(from[x]);
            }
            break;
        }
        default:
            std::memcpy(out, line + size_t(first) * 4, size_t(count) * 4);
            break;
    }
}

// Where the pixels drawn go: the target's rows, its byte order, and what its fourth byte
// must hold.
struct TargetRows {
    uchar* bits;
    size_t bytesPerRow;
    bool swap;
    uint32 fourth;  // OR-ed into every pixel: 0xff000000 makes it opaque

    // Writes straight 0xAARRGGBB words from column `left` of row `y`.
    void Write(int64 left, int64 y, const uint32* row, int64 count) const {
        auto* to = reinterpret_cast<uint32*>(bits + size_t(y) * bytesPerRow) + left;
        if (swap) {
            for (int64 x = 0; x < count; x++) {
                to[x] = __builtin_bswap32(row[x] | fourth);
            }
        } else {
            for (int64 x = 0; x < count; x++) {
                to[x] = row[x] | fourth;
            }
        }
    }
};

}  // namespace

namespace orv {

status_t DrawBitmapScaled(const BBitmap& source, BBitmap& target, BRect destination, BRect clip) {
    if (!IsRGB32Space(source.ColorSpace()) || !IsRGB32Space(target.ColorSpace())) {
        return Fail(B_BAD_TYPE, "espace de couleurs impossible à redimensionner");
    }
    const PixelRect targetArea{0, 0, int64(target.PixelWidth()) - 1,
                               int64(target.PixelHeight()) - 1};
    PixelRect drawn;
    PixelRect clipped;
    const BPoint origin = target.Bounds().LeftTop();
    if (!ToPixels(destination, origin, &drawn) || !ToPixels(clip, origin, &clipped)) {
        return Fail(B_BAD_VALUE, "rectangle de dessin invalide");
    }
    const PixelRect visible = drawn.Intersect(clipped).Intersect(targetArea);
    if (visible.IsEmpty() || target.Bits() == nullptr || source.Bits() == nullptr ||
        source.PixelWidth() == 0 || source.PixelHeight() == 0) {
        return B_OK;
    }
    // The resampled picture is made whole before its visible part is copied, so it must
    // be a size a bitmap may have.
    if (status_t status = CheckImageSize(uint64(drawn.Width()), uint64(drawn.Height()));
        status != B_OK) {
        return status;
    }

    const bool sourceHasAlpha = HasAlpha(source.ColorSpace());
    TargetRows rows{static_cast<uchar*>(target.Bits()), size_t(target.BytesPerRow()),
                    IsBigEndianSpace(target.ColorSpace()),
                    sourceHasAlpha && HasAlpha(target.ColorSpace()) ? 0u : 0xff000000u};

    // One row of straight pixels at a time, on its way to the target.
    std::vector<uint32> row(size_t(visible.Width()));

    // At its own size the picture is copied as it is, alpha and all.
    if (drawn.Width() == source.PixelWidth() && drawn.Height() == source.PixelHeight()) {
        const bool swap = IsBigEndianSpace(source.ColorSpace());
        for (int64 y = visible.top; y <= visible.bottom; y++) {
            const uchar* from = RowOf(source, y - drawn.top);
            for (int64 x = 0; x < visible.Width(); x++) {
                row[size_t(x)] = ReadPixel(from, visible.left - drawn.left + x, swap);
            }
            rows.Write(visible.left, y, row.data(), visible.Width());
        }
        return B_OK;
    }

    // A translucent picture is resampled premultiplied, with 16 bits per channel so that
    // its opaque parts stay exactly opaque (short of memory for that, Qt's 8 bits do);
    // any other goes through Qt's opaque path, which ignores the fourth byte.
    const bool translucent = sourceHasAlpha && !IsOpaque(source);
    QImage input = SourceImage(source, translucent ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (translucent && !input.isNull()) {
        QImage deep = input.convertToFormat(QImage::Format_RGBA64_Premultiplied);
        if (!deep.isNull()) {
            input = std::move(deep);
        }
    }
    if (input.isNull()) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour redimensionner l'image");
    }
    const QImage scaled = input.scaled(int(drawn.Width()), int(drawn.Height()),
                                       Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (scaled.isNull()) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour redimensionner l'image");
    }
    if (!translucent) {
        rows.fourth = 0xff000000u;
    }
    for (int64 y = visible.top; y <= visible.bottom; y++) {
        ReadResampledRow(scaled.format(), scaled.constScanLine(int(y - drawn.top)),
                         visible.left - drawn.left, visible.Width(), row.data());
        rows.Write(visible.left, y, row.data(), visible.Width());
    }
    return B_OK;
}

}  // namespace orv
