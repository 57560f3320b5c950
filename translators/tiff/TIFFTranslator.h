// SPDX-License-Identifier: MIT
// TIFF through libtiff: every page of every photometric, bit depth, tiling and compression
// libtiff reads, 32 and 64-bit floating-point samples too, each page upright by its own
// orientation; with its profile, XMP, IPTC, EXIF and resolution. Written page after page
// in the smallest exact layout (grey, palette, RGB, with or without alpha).
#pragma once

#include "platform/translation/FramedTranslator.h"

namespace orv {

class TIFFTranslator : public FramedTranslator {
public:
    TIFFTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
    status_t OpenWriter(uint32 outType, BPositionIO& destination,
                        std::unique_ptr<PictureWriter>* writer) override;
};

}  // namespace orv
