// SPDX-License-Identifier: MIT
// PNG through libpng: every colour type, bit depth and interlacing in, 8-bit RGB or RGBA out.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class PNGTranslator final : public ImageTranslator {
public:
    PNGTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
