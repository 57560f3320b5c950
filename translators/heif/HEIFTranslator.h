// SPDX-License-Identifier: MIT
// HEIF and HEIC through libheif: the primary image and the other top-level images of its
// size as pages, 8 to 12 bits, with or without alpha, their rotation, mirroring and crop
// applied, with the ICC profile or CICP, EXIF and XMP; HEIC out, one picture with the same,
// when libheif has an HEVC encoder.
// AVIF files, though HEIF too, are left to the AVIF translator.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class HEIFTranslator final : public ImageTranslator {
public:
    HEIFTranslator();

    // True when libheif can write HEVC; without it HEIF is not offered as an output format.
    static bool CanEncode();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
};

}  // namespace orv
