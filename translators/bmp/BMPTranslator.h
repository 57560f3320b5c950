// SPDX-License-Identifier: MIT
// Windows and OS/2 bitmaps: palettes of 1 to 8 bits, 16 and 32-bit bit fields, 24-bit,
// RLE4 and RLE8, bottom-up and top-down.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class BMPTranslator : public ImageTranslator {
public:
    BMPTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
