// SPDX-License-Identifier: MIT
// GIF through giflib: animations in, every frame composited whole with its delay and the
// loop count; out, one frame or an animation, through libimagequant's palettes of at most
// 256 colours with one transparent index.
#pragma once

#include "platform/translation/FramedTranslator.h"

namespace orv {

class GIFTranslator final : public FramedTranslator {
public:
    GIFTranslator();

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override;
    status_t OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) override;
    status_t OpenWriter(uint32 outType, BPositionIO& destination,
                        std::unique_ptr<PictureWriter>* writer) override;
};

}  // namespace orv
