// SPDX-License-Identifier: MIT
// Reading a WebP file as a picture: a still picture, or every frame of an animation
// composited on its canvas as a player shows it, with each frame's duration and the loop
// count; the ICC profile and the EXIF and XMP blocks beside them, and the resolution the
// EXIF block states (the container has none). WebP holds no IPTC block.
//
// A file that ends early gives what it holds: the rows of a still picture libwebp could
// decode, or the animation's complete frames, with a damage text saying what is missing.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

struct WebPReadOptions {
    bool applyOrientation = true;  // turn the pixels upright by the EXIF orientation
    bool threads = false;          // let libwebp decode on a second thread
};

// A reader open on `source`, its description known; the stream is read whole at once and
// may be released afterwards.
status_t OpenWebPReader(BPositionIO& source, const WebPReadOptions& options,
                        std::unique_ptr<PictureReader>* reader);

}  // namespace orv
