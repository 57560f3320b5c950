// SPDX-License-Identifier: MIT
// EXIF blocks come straight from the files being converted: the orientation reader must
// stay inside the block whatever its offsets say, and answer 1 to 8; the resolution reader
// must stay inside it too and answer positive figures or none.
#include <cstdlib>
#include <vector>

#include "platform/translation/PixelRows.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly `size` bytes, so that any read past the end is caught.
    const std::vector<uint8_t> block(data, data + size);
    const int orientation = orv::ExifOrientation(block.data(), block.size());
    if (orientation < 1 || orientation > 8) {
        std::abort();
    }
    double x = 0, y = 0;
    if (orv::ExifResolution(block.data(), block.size(), &x, &y) && !(x > 0 && y > 0)) {
        std::abort();
    }
    return 0;
}
