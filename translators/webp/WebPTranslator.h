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
    status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) override;
    status_t EncodeImage(const BBitmap& image, uint32 outType, BPositionIO& destination) override;
};

}  // namespace orv
