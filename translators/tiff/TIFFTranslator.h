// SPDX-License-Identifier: MIT
// TIFF through libtiff: every photometric, bit depth, tiling and compression libtiff turns
// into RGBA, with the file's own orientation; written as 8-bit RGB or RGBA.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class TIFFTranslator : public ImageTranslator {
public:
    TIFFTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
