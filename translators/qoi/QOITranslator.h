// SPDX-License-Identifier: MIT
// QOI ("Quite OK Image"): lossless RGB or RGBA, through the format's reference codec.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class QOITranslator : public ImageTranslator {
public:
    QOITranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) override;
    status_t EncodeImage(const BBitmap& image, uint32 outType, BPositionIO& destination) override;
};

}  // namespace orv
