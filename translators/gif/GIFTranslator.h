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
    status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) override;
    status_t EncodeImage(const BBitmap& image, uint32 outType, BPositionIO& destination) override;
};

}  // namespace orv
