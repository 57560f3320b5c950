// SPDX-License-Identifier: MIT
// QOI ("Quite OK Image"): lossless RGB or RGBA, through the format's reference codec.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class QOITranslator : public ImageTranslator {
public:
    QOITranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
