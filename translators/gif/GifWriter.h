// SPDX-License-Identifier: MIT
// Writing a GIF frame after frame. Each frame's colours are reduced by libimagequant; the
// first frame's palette is the file's global one, and a later frame uses it too when it
// renders that frame about as well as a palette of its own, which saves the frame its
// colour table. Only what changed since the previous frame is written, the rest left
// transparent to show the frame before; a pixel that turns transparent has the frame before
// cleared under it, so transparency in the pictures survives.
#pragma once

#include <memory>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"

namespace orv {

// What the settings ask of the quantizer.
struct GifWriterChoices {
    int colors = 256;  // 2 to 256
    int speed = 4;     // libimagequant's 1 (careful) to 10 (fast)
    bool dithering = true;
};

std::unique_ptr<PictureWriter> MakeGifWriter(BPositionIO& destination,
                                             const GifWriterChoices& choices);

}  // namespace orv
