// SPDX-License-Identifier: MIT
// Writing AVIF through libavif: one picture as a still image, several as an image sequence
// with each frame's duration, with the colour description (ICC profile or CICP), EXIF and
// XMP it is given.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

struct AVIFEncoding {
    int32 quality;      // 0 to 100
    int32 speed;        // libavif's 0 (slowest) to 10
    int32 subsampling;  // 420, 422 or 444
    bool lossless;
};

// A writer into `destination`, which must outlive it; the file is written at Finish.
status_t OpenAVIFWriter(BPositionIO& destination, const AVIFEncoding& encoding,
                        std::unique_ptr<PictureWriter>* writer);

}  // namespace orv
