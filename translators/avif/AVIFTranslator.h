// SPDX-License-Identifier: MIT
// AVIF through libavif: 8, 10 and 12-bit pictures and image sequences with or without
// alpha in, cropped to the clean aperture and turned by irot/imir, with their ICC profile or
// CICP, EXIF and XMP; 8-bit pictures and sequences out, with the same, when libavif was
// built with an AV1 encoder.
#pragma once

#include "platform/translation/FramedTranslator.h"

namespace orv {

class AVIFTranslator final : public FramedTranslator {
public:
    AVIFTranslator();

    // True when this libavif can write AV1; without an encoder AVIF is not offered as an
    // output format.
    static bool CanEncode();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
    status_t OpenWriter(uint32 outType, BPositionIO& destination,
                        std::unique_ptr<PictureWriter>* writer) override;
};

}  // namespace orv
