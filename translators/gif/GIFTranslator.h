// SPDX-License-Identifier: MIT
// GIF through giflib, the first frame of an animation in; out through libimagequant's
// palette of at most 256 colours, with one transparent index.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class GIFTranslator final : public ImageTranslator {
public:
    GIFTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
