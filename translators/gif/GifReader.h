// SPDX-License-Identifier: MIT
// Reading a GIF frame after frame: the file's blocks are walked once when it is opened (no
// pixel decoded) to count the frames and find the loop count, then each frame is decoded by
// giflib and composited onto the canvas as the disposal methods say, so every frame comes
// out as the whole picture a viewer shows at that moment.
#pragma once

#include <memory>
#include <string>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

// A reader open on `source` (read from its start), or the reason it cannot be: not a GIF
// (B_NO_TRANSLATOR), no frame, a canvas over the pixel limit, a read error.
status_t OpenGifReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader);

// giflib's text for an error code in brackets, or nothing when it has none.
std::string GifErrorDetail(int error);

}  // namespace orv
