// SPDX-License-Identifier: MIT
// JPEG through libjpeg-turbo: baseline, progressive, arithmetic, grey and CMYK in; EXIF
// orientation applied; baseline or progressive out.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class JPEGTranslator final : public ImageTranslator {
public:
    JPEGTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) override;
    status_t EncodeImage(const BBitmap& image, uint32 outType, BPositionIO& destination) override;
};

}  // namespace orv
