// SPDX-License-Identifier: MIT
// PNG through libpng for the pixels and our own chunk reading for the rest: every colour
// type, bit depth and interlacing in, with the colour description, the metadata and, for
// animated PNG files, every frame; our own writer out (see PngWriter.h).
#pragma once

#include "platform/translation/ImageTranslator.h"

namespace orv {

class PNGTranslator final : public ImageTranslator {
public:
    PNGTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t DecodePicture(BPositionIO& source, DecodedImage* decoded) override;
    status_t EncodePicture(const BBitmap& image, const PictureInfo& info, uint32 outType,
                           BPositionIO& destination) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
    status_t OpenWriter(uint32 outType, BPositionIO& destination,
                        std::unique_ptr<PictureWriter>* writer) override;
};

}  // namespace orv
