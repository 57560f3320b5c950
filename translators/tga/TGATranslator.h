// SPDX-License-Identifier: MIT
// Truevision TGA: colour-mapped, true-colour and grey pictures, raw or run-length encoded.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class TGATranslator : public ImageTranslator {
public:
    TGATranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) override;
    status_t EncodeImage(const BBitmap& image, uint32 outType, BPositionIO& destination) override;
};

}  // namespace orv
