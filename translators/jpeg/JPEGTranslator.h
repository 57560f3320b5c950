// SPDX-License-Identifier: MIT
// JPEG through libjpeg-turbo: baseline, progressive, arithmetic, grey and CMYK in, EXIF
// orientation applied, at a reduced size when that is enough; baseline or progressive out,
// grey in one channel. EXIF, XMP, IPTC, the ICC profile and the resolution both ways.
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class JPEGTranslator final : public ImageTranslator {
public:
    JPEGTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
};

}  // namespace orv
