// SPDX-License-Identifier: MIT
// The frames of an animated PNG, each a whole picture of the canvas. libpng knows only the
// first frame of such a file, so each frame's data is handed to it as a PNG stream of its
// own (PngDataStream.h), and the frame is then put on the canvas with its blend operation
// and taken off with its dispose operation.
#pragma once

#include <memory>
#include <vector>

#include "platform/translation/PictureIO.h"
#include "translators/png/PngLayout.h"

namespace orv::png {

class ApngReader final : public PictureReader {
public:
    // `layout` has frames; `orientation` (1 to 8) turns every frame upright.
    ApngReader(BPositionIO& source, PngLayout layout, int orientation);

    // Allocates the canvas; fails with a reason.
    status_t Init();
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    status_t Decode(const ApngFrame& frame);
    void Composite(const ApngFrame& frame, uint32 rows);
    void Dispose(const ApngFrame& frame);

    BPositionIO& fSource;
    PngLayout fLayout;
    int fOrientation;
    size_t fNext = 0;
    std::unique_ptr<BBitmap> fCanvas;  // B_RGBA32, what the animation shows so far
    std::vector<uint8> fFrame;         // the frame being read, width × height × 4
    std::vector<uint8> fSaved;         // its region before it, for APNG_DISPOSE_OP_PREVIOUS
};

}  // namespace orv::png
