// SPDX-License-Identifier: MIT
// How a picture's pixels are stored in the PNG written: the smallest colour type and bit
// depth that hold them exactly (grey at 1, 2, 4 or 8 bits, grey with alpha, a palette of up
// to 256 colours with tRNS for transparency, RGB, RGBA), found in one pass over the pixels
// that stops as soon as only RGB or RGBA is left, and rows of bitmap pixels packed so.
#pragma once

#include <array>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/support/SupportDefs.h"

namespace orv::png {

// What the colour profile to be written allows: a profile for colour values rules out the
// grey types, a grey one everything else (the format ties a profile to its colour type).
enum class ProfileKind { kNone, kColor, kGrey };

class PixelFormat {
public:
    // The format's colour type numbers.
    static constexpr uint8 kGrey = 0;
    static constexpr uint8 kRgb = 2;
    static constexpr uint8 kPalette = 3;
    static constexpr uint8 kGreyAlpha = 4;
    static constexpr uint8 kRgba = 6;

    // RGB, or RGBA with `alpha`, at 8 bits.
    static PixelFormat TrueColor(bool alpha);
    // The smallest exact format for `image` (B_RGB32 or B_RGBA32).
    static PixelFormat Choose(const BBitmap& image, ProfileKind profile);

    uint8 ColorType() const { return fColorType; }
    uint8 BitDepth() const { return fBitDepth; }
    bool Grey() const { return fColorType == kGrey || fColorType == kGreyAlpha; }
    bool Alpha() const { return fColorType == kGreyAlpha || fColorType == kRgba; }
    // Whole bytes per pixel, at least 1: the distance the row filters look back.
    size_t FilterStep() const;
    // Bytes of a packed row of `width` pixels, or 0 when that does not fit a size_t.
    size_t RowBytes(uint32 width) const;

    // The PLTE chunk's data (red, green, blue a colour) and tRNS's (alpha of the first
    // entries, the transparent ones sorted first); empty unless a palette.
    std::vector<uint8> PaletteData() const;
    std::vector<uint8> TransparencyData() const;

    // `count` bitmap pixels (blue, green, red, alpha; alpha ignored when `bitmapAlpha` is
    // false) as one packed row.
    void Pack(const uint8* bgra, uint32 count, bool bitmapAlpha, uint8* out) const;

private:
    PixelFormat(uint8 colorType, uint8 bitDepth) : fColorType(colorType), fBitDepth(bitDepth) {}
    void SetPalette(std::vector<uint32> colors);
    int IndexOf(uint32 color) const;

    uint8 fColorType;
    uint8 fBitDepth;
    // Palette colours as 0xAARRGGBB, and an open-addressed table from colour to index.
    std::vector<uint32> fPalette;
    size_t fTransparentEntries = 0;
    std::array<uint32, 1024> fKeys{};
    std::array<int16, 1024> fIndices{};
};

}  // namespace orv::png
