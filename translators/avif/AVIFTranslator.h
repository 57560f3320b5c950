// SPDX-License-Identifier: MIT
// AVIF through libavif: 8, 10 and 12-bit pictures with or without alpha in, the first
// frame of a sequence, cropped to the clean aperture and turned by irot/imir; 8-bit AVIF
// out when libavif was built with an AV1 encoder.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class AVIFTranslator final : public ImageTranslator {
public:
    AVIFTranslator();

    // True when this libavif can write AV1; without an encoder AVIF is not offered as an
    // output format.
    static bool CanEncode();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
