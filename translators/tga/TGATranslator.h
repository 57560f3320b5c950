// SPDX-License-Identifier: MIT
// Truevision TGA: colour-mapped, true-colour and grey pictures, raw or run-length encoded.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class TGATranslator : public ImageTranslator {
public:
    TGATranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
