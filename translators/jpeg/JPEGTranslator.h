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
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
