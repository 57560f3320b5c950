// SPDX-License-Identifier: MIT
// Reading an AVIF file through libavif, frame after frame: a still picture is one frame, an
// image sequence gives each of its frames with its duration. What the file says beside the
// pixels (ICC profile or CICP, EXIF, XMP) is known as soon as it is open.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

// Opens `source`, which must outlive the reader. With `upright`, frames come cropped to the
// clean aperture and turned by the file's irot and imir; otherwise cropped only.
status_t OpenAVIFReader(BPositionIO& source, bool upright, std::unique_ptr<PictureReader>* reader);

}  // namespace orv
