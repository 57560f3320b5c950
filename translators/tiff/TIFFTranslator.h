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
    status_t DecodeImage(BPositionIO& source, std::unique_ptr<BBitmap>* image) override;
    status_t EncodeImage(const BBitmap& image, uint32 outType, BPositionIO& destination) override;
};

}  // namespace orv
