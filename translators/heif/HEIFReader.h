// SPDX-License-Identifier: MIT
// Reading a HEIF file through libheif: its primary image, then its other top-level images
// of the same size as further pages, with the primary image's colour description (ICC
// profile or CICP), EXIF and XMP.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

// Opens `source`, which must outlive the reader. With `upright`, images come turned,
// mirrored and cropped as the file says; otherwise as stored.
status_t OpenHEIFReader(BPositionIO& source, bool upright, std::unique_ptr<PictureReader>* reader);

}  // namespace orv
