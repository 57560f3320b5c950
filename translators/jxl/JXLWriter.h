// SPDX-License-Identifier: MIT
// Writing JPEG XL through libjxl: one picture, or an animation with each frame's duration
// and the loop count, with the colour profile, EXIF and XMP it is given.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

struct JXLEncoding {
    bool lossless;
    float distance;  // lossy: libjxl's Butteraugli distance, 1 being visually lossless
    int32 effort;    // 1 to 9
};

// A writer into `destination`, which must outlive it. Frames are encoded as they come and
// the file written as it grows, one frame behind: the last frame must be known as last.
status_t OpenJXLWriter(BPositionIO& destination, const JXLEncoding& encoding,
                       std::unique_ptr<PictureWriter>* writer);

}  // namespace orv
