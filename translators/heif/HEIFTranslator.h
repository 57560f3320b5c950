// SPDX-License-Identifier: MIT
// HEIF and HEIC through libheif: the primary image, 8 to 12 bits, with or without alpha,
// its rotation, mirroring and crop applied; HEIC out when libheif has an HEVC encoder.
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
};

}  // namespace orv
