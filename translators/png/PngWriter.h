// SPDX-License-Identifier: MIT
// Writes PNG files of our own: the smallest exact colour type for a single picture, the
// colour description and metadata given, and for several frames an animated PNG (APNG)
// whose frames after the first store only the rectangle that changed. The image data is
// deflated by libdeflate, about three times as fast as zlib behind libpng for smaller files.
#pragma once

#include <memory>
#include <vector>

#include "platform/support/DataIO.h"
#include "platform/translation/PictureIO.h"
#include "translators/png/PngImageData.h"
#include "translators/png/PngPixelFormat.h"

namespace orv::png {

struct WriteOptions {
    int level = 6;                 // libdeflate's 0 (stored) to 12
    int filter = kFilterAdaptive;  // 0 none, 1 sub, 2 up, 3 average, 4 Paeth, kFilterAdaptive
};

class PngWriter final : public PictureWriter {
public:
    PngWriter(BPositionIO& destination, const WriteOptions& options);

    // More than one frame announced makes an APNG; fewer frames may come, and Finish then
    // says how many there are. Frames are B_RGB32 or B_RGBA32, all of the first's size.
    status_t Begin(const PictureInfo& info) override;
    status_t WriteFrame(const BBitmap& frame, const FrameTiming& timing) override;
    status_t Finish() override;

private:
    status_t WriteHeader(const BBitmap& frame);
    status_t WriteFrameControl(uint32 x, uint32 y, uint32 width, uint32 height,
                               const FrameTiming& timing);
    status_t WriteRegion(const BBitmap& frame, uint32 x, uint32 y, uint32 width, uint32 height,
                         const char type[4], uint32* sequence);

    BPositionIO& fDestination;
    WriteOptions fOptions;
    PictureInfo fInfo;
    bool fBegun = false;
    bool fAnimated = false;
    std::unique_ptr<PixelFormat> fFormat;
    uint32 fWidth = 0;  // the first frame's, which all must have
    uint32 fHeight = 0;
    uint32 fFrames = 0;            // frames written
    uint32 fSequence = 0;          // the next fcTL or fdAT sequence number
    off_t fControlAt = -1;         // where acTL's data is, to set the frame count at the end
    std::vector<uint8> fPrevious;  // the last frame, to find what the next one changes
};

}  // namespace orv::png
