// SPDX-License-Identifier: MIT
// WebP through libwebp: still pictures and animations, lossy or lossless, with alpha, in
// and out; the ICC profile, EXIF and XMP read and written in the extended container.
#pragma once

#include "platform/translation/FramedTranslator.h"

namespace orv {

class WebPTranslator final : public FramedTranslator {
public:
    WebPTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
    status_t OpenWriter(uint32 outType, BPositionIO& destination,
                        std::unique_ptr<PictureWriter>* writer) override;
};

}  // namespace orv
