// SPDX-License-Identifier: MIT
// The pixels of a plain, whole PNG picture decoded without libpng: its data chunks read in
// one piece, inflated by libdeflate in one call (several times faster than zlib's inflate
// behind libpng), unfiltered and turned into rows of blue, green, red and alpha bytes.
//
// Only what can be decoded exactly as libpng would, with nothing to report, goes this way:
// 8-bit grey, grey and alpha, RGB or RGBA without a palette or tRNS, not interlaced, every
// chunk whole with its CRC right and one zlib stream that fills the picture exactly. Anything
// else (damage included) is left to libpng, which says what is wrong the way it always has.
#pragma once

#include <vector>

#include "platform/support/DataIO.h"
#include "translators/png/PngLayout.h"
#include "translators/png/PngPixels.h"

namespace orv::png {

// Decodes the picture whose data chunks are `data` into `target` and returns true, or
// returns false with `target` untouched when the picture is not one this path takes.
bool InflateWhole(BPositionIO& source, const PngLayout& layout, const std::vector<DataChunk>& data,
                  const PixelTarget& target, PixelOutcome* outcome);

}  // namespace orv::png
