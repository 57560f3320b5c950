// SPDX-License-Identifier: MIT
// How a page is stored: the smallest of grey, grey and alpha, palette (opaque pictures of
// at most 256 colours), RGB and RGBA that holds the bitmap exactly.
#pragma once

#include <tiffio.h>

#include <vector>

#include "platform/interface/Bitmap.h"

namespace orv {

struct TIFFLayout {
    uint16 photometric = PHOTOMETRIC_RGB;
    uint16 samples = 3;           // per pixel
    uint16 bits = 8;              // per sample: 1, 2, 4 or 8 for a palette, 8 otherwise
    bool alpha = false;           // the last sample is unassociated alpha
    std::vector<uint32> palette;  // 0xRRGGBB, sorted, for PHOTOMETRIC_PALETTE

    // Bytes of one stored row of `width` pixels.
    size_t RowBytes(uint32 width) const { return (size_t(width) * samples * bits + 7) / 8; }
};

TIFFLayout ChooseLayout(const BBitmap& image);

// Row `y` of the bitmap as the layout stores it, into `out` (RowBytes long).
void LayoutRow(const BBitmap& image, uint32 y, const TIFFLayout& layout, uint8* out);

}  // namespace orv
