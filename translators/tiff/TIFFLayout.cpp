// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFLayout.h"

#include <algorithm>
#include <cstring>

#include "platform/translation/PixelRows.h"

namespace orv {
namespace {

constexpr size_t kMaxPaletteColours = 256;

uint32 ColourOf(const uint8* pixel) {
    return uint32(pixel[2]) << 16 | uint32(pixel[1]) << 8 | pixel[0];
}

const uint8* Row(const BBitmap& image, uint32 y) {
    return static_cast<const uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow();
}

// The picture's colours, sorted, when there are at most 256 of them; otherwise none.
std::vector<uint32> PaletteOf(const BBitmap& image) {
    std::vector<uint32> colours;
    uint32 last = ColourOf(Row(image, 0));
    colours.push_back(last);
    for (uint32 y = 0; y < image.PixelHeight(); y++) {
        const uint8* p = Row(image, y);
        for (uint32 x = 0; x < image.PixelWidth(); x++, p += 4) {
            const uint32 colour = ColourOf(p);
            if (colour == last) {
                continue;
            }
            last = colour;
            auto at = std::lower_bound(colours.begin(), colours.end(), colour);
            if (at != colours.end() && *at == colour) {
                continue;
            }
            if (colours.size() == kMaxPaletteColours) {
                return {};
            }
            colours.insert(at, colour);
        }
    }
    return colours;
}

}  // namespace

TIFFLayout ChooseLayout(const BBitmap& image) {
    TIFFLayout layout;
    layout.alpha = HasTransparency(image);
    if (IsGrey(image)) {
        layout.photometric = PHOTOMETRIC_MINISBLACK;
        layout.samples = layout.alpha ? 2 : 1;
        return layout;
    }
    if (!layout.alpha) {
        // TIFF palettes hold no transparency: a palette is for opaque pictures only.
        layout.palette = PaletteOf(image);
        if (!layout.palette.empty()) {
            const size_t n = layout.palette.size();
            layout.photometric = PHOTOMETRIC_PALETTE;
            layout.samples = 1;
            layout.bits = n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
            return layout;
        }
    }
    layout.samples = layout.alpha ? 4 : 3;
    return layout;
}

void LayoutRow(const BBitmap& image, uint32 y, const TIFFLayout& layout, uint8* out) {
    const uint8* p = Row(image, y);
    const uint32 width = image.PixelWidth();
    switch (layout.photometric) {
        case PHOTOMETRIC_MINISBLACK:
            for (uint32 x = 0; x < width; x++, p += 4) {
                *out++ = p[0];
                if (layout.alpha) {
                    *out++ = p[3];
                }
            }
            return;
        case PHOTOMETRIC_PALETTE: {
            std::memset(out, 0, layout.RowBytes(width));
            const uint32 perByte = 8 / layout.bits;
            for (uint32 x = 0; x < width; x++, p += 4) {
                const auto index = uint32(
                    std::lower_bound(layout.palette.begin(), layout.palette.end(), ColourOf(p)) -
                    layout.palette.begin());
                // The first pixel in the most significant bits, as TIFF packs them.
                const uint32 shift = (perByte - 1 - x % perByte) * layout.bits;
                out[x / perByte] |= uint8(index << shift);
            }
            return;
        }
        default:
            BitmapRowToSamples(image, y, layout.alpha, out);
            return;
    }
}

}  // namespace orv
