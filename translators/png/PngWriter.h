// SPDX-License-Identifier: MIT
// Writes a bitmap as an 8-bit RGB or RGBA PNG. The rows are filtered here and the whole
// filtered picture is deflated in one call to libdeflate, which is about three times as fast as
// zlib behind libpng for smaller files.
#pragma once

#include "platform/interface/Bitmap.h"
#include "platform/support/DataIO.h"

namespace orv {

// Row filter choices, numbered as the format numbers them, plus one that picks per row.
inline constexpr int kPngFilterAdaptive = 5;

struct PngWriteOptions {
    bool alpha;  // RGBA when true, RGB otherwise (the fourth bitmap byte is then dropped)
    int level;   // 0 (stored) to 12
    int filter;  // 0 none, 1 sub, 2 up, 3 average, 4 Paeth, kPngFilterAdaptive
};

// `image` has passed CheckEncodeRequest: B_RGB32 or B_RGBA32, within the size limit.
// Failures carry a reason.
status_t WritePng(const BBitmap& image, const PngWriteOptions& options, BPositionIO& destination);

}  // namespace orv
