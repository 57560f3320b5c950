// SPDX-License-Identifier: MIT
// Reading a JPEG XL file through libjxl, frame after frame: a still picture is one frame,
// an animation gives each displayed frame whole, with its duration and the loop count. The
// colour profile, EXIF and XMP boxes are known as soon as it is open.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

// Opens `source`, which must outlive the reader. With `upright`, frames come turned by
// the codestream's orientation; otherwise as stored.
status_t OpenJXLReader(BPositionIO& source, bool upright, std::unique_ptr<PictureReader>* reader);

}  // namespace orv
