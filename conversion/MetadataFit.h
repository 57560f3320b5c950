// SPDX-License-Identifier: MIT
// Making a picture's EXIF and XMP true to the file it is written to: a picture turned
// upright no longer states an orientation, a resized one states its new size, and the EXIF
// thumbnail of a changed picture, which would still show the old one, is dropped. Blocks
// that need no change are passed on byte for byte.
#pragma once

#include "platform/translation/Picture.h"

namespace orv {

struct PictureChanges {
    uint32 width = 0;  // the output's size
    uint32 height = 0;
    bool orientationApplied = false;
    bool pixelsChanged = false;  // filtered, resized, smoothed or turned
};

void FitMetadata(PictureMetadata* metadata, const PictureChanges& changes);

// Drops what says who took the picture, where and with what: EXIF, XMP and IPTC. The
// colour description and the resolution stay, since they only say how to show it.
void StripPersonalMetadata(PictureMetadata* metadata);

}  // namespace orv
