// SPDX-License-Identifier: MIT
// WebP through libwebp: lossy, lossless, alpha and the first frame of animations in; lossy
// or lossless out, alpha kept.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class WebPTranslator final : public ImageTranslator {
public:
    WebPTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
