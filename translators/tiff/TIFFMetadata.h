// SPDX-License-Identifier: MIT
// The blocks a TIFF directory carries beside its pixels, through libtiff's own tags: the
// ICC profile, the XMP packet, the IPTC datasets and the resolution. EXIF, which is the
// directory itself and its sub-directories, is TIFFExif's.
#pragma once

#include <tiffio.h>

#include "platform/translation/Picture.h"

namespace orv {

// Reads them from the current directory, each bounded by kMaxMetadataBytes.
status_t ReadTIFFMetadata(TIFF* tiff, PictureMetadata* metadata);

// The profile and the resolution: they describe every page, so every page states them.
void WriteTIFFColour(TIFF* tiff, const PictureMetadata& metadata);
// XMP and IPTC, which describe the document: on its first page.
void WriteTIFFTextBlocks(TIFF* tiff, const PictureMetadata& metadata);

}  // namespace orv
