// SPDX-License-Identifier: MIT
#include "platform/interface/BitmapDrawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/interface/Resampler.h"
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

const uint8* RowOf(const BBitmap& bitmap, int64 y) {
    return static_cast<const uint8*>(bitmap.Bits()) + size_t(y) * size_t(bitmap.BytesPerRow());
}

// Pixel x of a row as a 0xAARRGGBB word.
uint32 ReadPixel(const uint8* row, int64 x, bool swap) {
    uint32 word;
    std::memcpy(&word, row + size_t(x) * 4, 4);
    return swap ? __builtin_bswap32(word) : word;
}

// Where the pixels drawn go: the target's rows, its byte order, and what its fourth byte
// must hold.
struct TargetRows {
    uint8* bits;
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
    // Only the visible part is resampled, but the whole must be a size a bitmap may have.
    if (status_t status = CheckImageSize(uint64(drawn.Width()), uint64(drawn.Height()));
        status != B_OK) {
        return status;
    }

    const bool sourceHasAlpha = HasAlpha(source.ColorSpace());
    TargetRows rows{static_cast<uint8*>(target.Bits()), size_t(target.BytesPerRow()),
                    IsBigEndianSpace(target.ColorSpace()),
                    sourceHasAlpha && HasAlpha(target.ColorSpace()) ? 0u : 0xff000000u};

    // At its own size the picture is copied as it is, alpha and all.
    if (drawn.Width() == source.PixelWidth() && drawn.Height() == source.PixelHeight()) {
        std::vector<uint32> row(size_t(visible.Width()));
        const bool swap = IsBigEndianSpace(source.ColorSpace());
        for (int64 y = visible.top; y <= visible.bottom; y++) {
            const uint8* from = RowOf(source, y - drawn.top);
            for (int64 x = 0; x < visible.Width(); x++) {
                row[size_t(x)] = ReadPixel(from, visible.left - drawn.left + x, swap);
            }
            rows.Write(visible.left, y, row.data(), visible.Width());
        }
        return B_OK;
    }

    const ResampleSource pixels{static_cast<const uint8*>(source.Bits()),
                                size_t(source.BytesPerRow()),
                                int64(source.PixelWidth()),
                                int64(source.PixelHeight()),
                                IsBigEndianSpace(source.ColorSpace()),
                                sourceHasAlpha};
    const ResampleArea area{drawn.Width(),
                            drawn.Height(),
                            visible.left - drawn.left,
                            visible.top - drawn.top,
                            visible.right - drawn.left,
                            visible.bottom - drawn.top};
    const ResampleTarget into{
        rows.bits + size_t(visible.top) * rows.bytesPerRow + size_t(visible.left) * 4,
        rows.bytesPerRow, rows.swap, rows.fourth != 0};
    return Resample(pixels, area, into);
}

}  // namespace orv
