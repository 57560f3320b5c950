// SPDX-License-Identifier: MIT
// JPEG XL through libjxl: lossy and lossless, grey or colour, with or without alpha,
// pictures and animations in (upright by the codestream's orientation), with the colour
// profile, EXIF and XMP; 8-bit JPEG XL pictures and animations out, lossy by distance or
// lossless, with the same.
#pragma once

#include "platform/translation/FramedTranslator.h"

namespace orv {

class JXLTranslator final : public FramedTranslator {
public:
    JXLTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
    status_t OpenWriter(uint32 outType, BPositionIO& destination,
                        std::unique_ptr<PictureWriter>* writer) override;
};

}  // namespace orv
