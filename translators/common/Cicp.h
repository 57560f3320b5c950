// SPDX-License-Identifier: MIT
// The colour description of a picture stated by ITU-T H.273 code points (CICP), as AVIF and
// HEIF files give them in an "nclx" colour box.
#pragma once

#include "platform/translation/Picture.h"

namespace orv {

// The description for these code points. "Unspecified" primaries and transfer (2) say
// nothing; sRGB's primaries and transfer say sRGB and no more; anything else is kept as
// stated. Code points above 255 are in no use and taken as unspecified.
inline ColorDescription CicpDescription(uint32 primaries, uint32 transfer, uint32 matrix,
                                        bool fullRange) {
    constexpr uint32 kUnspecified = 2;
    constexpr uint32 kBT709 = 1;
    constexpr uint32 kSRGBTransfer = 13;
    const auto code = [](uint32 value) { return value <= 255 ? uint8(value) : uint8(2); };
    ColorDescription color;
    primaries = code(primaries);
    transfer = code(transfer);
    if (primaries == kUnspecified && transfer == kUnspecified) {
        return color;
    }
    if ((primaries == kBT709 || primaries == kUnspecified) &&
        (transfer == kSRGBTransfer || transfer == kUnspecified)) {
        color.srgb = true;
        return color;
    }
    color.primaries = uint8(primaries);
    color.transfer = uint8(transfer);
    color.matrix = code(matrix);
    color.fullRange = fullRange;
    return color;
}

}  // namespace orv
