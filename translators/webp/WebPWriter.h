// SPDX-License-Identifier: MIT
// Writing a WebP file: one picture through libwebp's encoder, or an animation through its
// animation encoder (each frame's duration and the loop count kept), lossy or lossless.
// The ICC profile and the EXIF and XMP blocks it is given go, unchanged, into the extended
// container's ICCP, EXIF and XMP chunks. WebP has no place for a resolution or IPTC.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

struct WebPWriteOptions {
    int quality = 90;  // 0 to 100
    int method = 4;    // effort, 0 (fast) to 6 (slow)
    bool lossless = false;
    bool threads = false;  // let libwebp encode on a second thread
};

std::unique_ptr<PictureWriter> NewWebPWriter(BPositionIO& destination,
                                             const WebPWriteOptions& options);

}  // namespace orv
