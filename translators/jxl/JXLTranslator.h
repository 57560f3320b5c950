// SPDX-License-Identifier: MIT
// JPEG XL through libjxl: lossy and lossless, grey or colour, with or without alpha in
// (the first frame of an animation, upright by the codestream's orientation); 8-bit
// JPEG XL out, lossy by distance or lossless.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class JXLTranslator final : public ImageTranslator {
public:
    JXLTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
