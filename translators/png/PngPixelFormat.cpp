// SPDX-License-Identifier: MIT
#include "translators/png/PngPixelFormat.h"

#include <algorithm>
#include <cstring>

#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"

namespace orv::png {

namespace {

constexpr uint32 kOpaque = 0xff000000;
constexpr size_t kMaxPalette = 256;

// A bitmap pixel as one word, 0xAARRGGBB (the bytes are blue, green, red, alpha).
inline uint32 Load(const uint8* pixel) {
    return uint32(pixel[0]) | uint32(pixel[1]) << 8 | uint32(pixel[2]) << 16 |
           uint32(pixel[3]) << 24;
}

inline size_t Slot(uint32 color) {
    return (color * 0x9e3779b1u) >> 22;  // 10 bits, for 1024 slots
}

// The fewest bits a grey value needs to be stored exactly: the format scales a sample of
// d bits to 8 by multiplying by 255 / (2^d - 1).
int GreyDepth(uint8 grey) {
    return grey % 17 != 0 ? 8 : grey % 85 != 0 ? 4 : grey % 255 != 0 ? 2 : 1;
}

int DepthFor(size_t entries) {
    return entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8;
}

// The distinct colours of a picture, up to a palette's worth.
class ColorSet {
public:
    // False once there are more than a palette holds.
    bool Insert(uint32 color) {
        for (size_t slot = Slot(color);; slot = (slot + 1) % fUsed.size()) {
            if (!fUsed[slot]) {
                if (fColors.size() == kMaxPalette) {
                    return false;
                }
                fUsed[slot] = true;
                fKeys[slot] = color;
                fColors.push_back(color);
                return true;
            }
            if (fKeys[slot] == color) {
                return true;
            }
        }
    }
    std::vector<uint32> Take() { return std::move(fColors); }
    size_t Size() const { return fColors.size(); }

private:
    std::array<bool, 1024> fUsed{};
    std::array<uint32, 1024> fKeys{};
    std::vector<uint32> fColors;
};

const uint8* RowOf(const BBitmap& image, uint32 y) {
    return static_cast<const uint8*>(image.Bits()) + size_t(y) * size_t(image.BytesPerRow());
}

// Whether some pixel from (column, row) on, in reading order, has an alpha below 255.
bool AnyTransparent(const BBitmap& image, uint32 row, uint32 column) {
    for (uint32 y = row; y < image.PixelHeight(); y++, column = 0) {
        const uint8* bits = RowOf(image, y);
        for (uint32 x = column; x < image.PixelWidth(); x++) {
            if (bits[size_t(x) * 4 + 3] != 255) {
                return true;
            }
        }
    }
    return false;
}

// Packs samples of `depth` bits, most significant first, as the format wants them.
void PackBits(const uint8* values, uint32 count, int depth, uint8* out) {
    std::memset(out, 0, (size_t(count) * size_t(depth) + 7) / 8);
    for (uint32 i = 0; i < count; i++) {
        const size_t bit = size_t(i) * size_t(depth);
        out[bit / 8] |= uint8(values[i] << (8 - depth - int(bit % 8)));
    }
}

}  // namespace

PixelFormat PixelFormat::TrueColor(bool alpha) {
    return PixelFormat(alpha ? kRgba : kRgb, 8);
}

PixelFormat PixelFormat::Choose(const BBitmap& image, ProfileKind profile) {
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();
    const bool bitmapAlpha = image.ColorSpace() == B_RGBA32;
    const uint32 forceOpaque = bitmapAlpha ? 0 : kOpaque;
    bool grey = profile != ProfileKind::kColor;
    bool paletteFits = profile != ProfileKind::kGrey;
    bool alpha = false;
    int greyDepth = 1;
    ColorSet colors;
    // Until only RGB or RGBA is left; neighbours alike, common in drawings, are seen once.
    uint32 stopRow = height;
    uint32 stopColumn = 0;
    [&] {
        for (uint32 y = 0; y < height; y++) {
            const uint8* row = RowOf(image, y);
            uint32 last = ~(Load(row) | forceOpaque);
            for (uint32 x = 0; x < width; x++) {
                const uint32 color = Load(row + size_t(x) * 4) | forceOpaque;
                if (color == last) {
                    continue;
                }
                last = color;
                alpha = alpha || color < kOpaque;
                if (grey) {
                    const uint8 blue = uint8(color);
                    grey = blue == uint8(color >> 8) && blue == uint8(color >> 16);
                    greyDepth = std::max(greyDepth, GreyDepth(blue));
                }
                paletteFits = paletteFits && colors.Insert(color);
                if (!grey && !paletteFits) {
                    stopRow = y;
                    stopColumn = x + 1;
                    return;
                }
            }
        }
    }();
    // What is left only says whether some pixel is transparent.
    if (bitmapAlpha && !alpha) {
        alpha = AnyTransparent(image, stopRow, stopColumn);
    }
    if (grey && !alpha && !(paletteFits && DepthFor(colors.Size()) < greyDepth)) {
        return PixelFormat(kGrey, uint8(greyDepth));
    }
    if (paletteFits) {
        PixelFormat format(kPalette, uint8(DepthFor(colors.Size())));
        format.SetPalette(colors.Take());
        return format;
    }
    if (grey) {
        return PixelFormat(kGreyAlpha, 8);
    }
    return TrueColor(alpha);
}

void PixelFormat::SetPalette(std::vector<uint32> colors) {
    // Transparent entries first, so that tRNS, which lists the first entries' alpha, stays
    // short; in value order otherwise, so the same picture always gives the same file.
    std::sort(colors.begin(), colors.end(), [](uint32 a, uint32 b) {
        return (a >= kOpaque) != (b >= kOpaque) ? a < kOpaque : a < b;
    });
    fPalette = std::move(colors);
    fTransparentEntries = size_t(
        std::count_if(fPalette.begin(), fPalette.end(), [](uint32 c) { return c < kOpaque; }));
    fIndices.fill(-1);
    for (size_t i = 0; i < fPalette.size(); i++) {
        size_t slot = Slot(fPalette[i]);
        while (fIndices[slot] >= 0) {
            slot = (slot + 1) % fIndices.size();
        }
        fKeys[slot] = fPalette[i];
        fIndices[slot] = int16(i);
    }
}

int PixelFormat::IndexOf(uint32 color) const {
    for (size_t slot = Slot(color); fIndices[slot] >= 0; slot = (slot + 1) % fIndices.size()) {
        if (fKeys[slot] == color) {
            return fIndices[slot];
        }
    }
    return 0;  // not reached for the picture the palette was made from
}

size_t PixelFormat::FilterStep() const {
    switch (fColorType) {
        case kGreyAlpha:
            return 2;
        case kRgb:
            return 3;
        case kRgba:
            return 4;
        default:
            return 1;
    }
}

size_t PixelFormat::RowBytes(uint32 width) const {
    const size_t channels = fColorType == kPalette ? 1 : FilterStep();
    size_t bits = 0;
    if (!CheckedMultiply(width, channels * fBitDepth, &bits) || !CheckedAdd(bits, 7, &bits)) {
        return 0;
    }
    return bits / 8;
}

std::vector<uint8> PixelFormat::PaletteData() const {
    std::vector<uint8> data;
    for (uint32 color : fPalette) {
        data.insert(data.end(), {uint8(color >> 16), uint8(color >> 8), uint8(color)});
    }
    return data;
}

std::vector<uint8> PixelFormat::TransparencyData() const {
    std::vector<uint8> data;
    for (size_t i = 0; i < fTransparentEntries; i++) {
        data.push_back(uint8(fPalette[i] >> 24));
    }
    return data;
}

void PixelFormat::Pack(const uint8* bgra, uint32 count, bool bitmapAlpha, uint8* out) const {
    switch (fColorType) {
        case kRgb:
            RowToRGB(bgra, out, count, false);
            return;
        case kRgba:
            RowToRGBA(bgra, out, count);
            if (!bitmapAlpha) {
                for (uint32 i = 0; i < count; i++) {
                    out[size_t(i) * 4 + 3] = 255;
                }
            }
            return;
        case kGreyAlpha:
            for (uint32 i = 0; i < count; i++) {
                out[size_t(i) * 2] = bgra[size_t(i) * 4];
                out[size_t(i) * 2 + 1] = bitmapAlpha ? bgra[size_t(i) * 4 + 3] : 255;
            }
            return;
        default:
            break;
    }
    // One sample a pixel: a grey level or a palette index, packed below 8 bits. The row
    // is written in place first, at a byte a pixel, when it has to be packed.
    uint8 values[1024];
    const uint32 forceOpaque = bitmapAlpha ? 0 : kOpaque;
    const int maxValue = (1 << fBitDepth) - 1;
    for (uint32 start = 0; start < count; start += sizeof(values)) {
        const uint32 n = std::min<uint32>(count - start, sizeof(values));
        for (uint32 i = 0; i < n; i++) {
            const uint8* pixel = bgra + size_t(start + i) * 4;
            values[i] = fColorType == kPalette ? uint8(IndexOf(Load(pixel) | forceOpaque))
                                               : uint8(pixel[0] * maxValue / 255);
        }
        if (fBitDepth == 8) {
            std::memcpy(out + start, values, n);
        } else {
            // Chunks of 1024 pixels end on a byte boundary at every depth.
            PackBits(values, n, fBitDepth, out + size_t(start) * fBitDepth / 8);
        }
    }
}

}  // namespace orv::png
