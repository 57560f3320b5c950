// SPDX-License-Identifier: MIT
// Any bytes through the WebP reader as the conversion drives it: the description, then
// every frame in turn. It must refuse or read, never crash, leak or hang.
#include <webp/demux.h>

#include "fuzz/common/DecoderFuzzing.h"
#include "translators/webp/WebPTranslator.h"

namespace {

// As for still pictures, canvases over 4 megapixels are left out: the animation decoder
// holds two of them beside our frame. The frames are capped too, so that one input takes
// a bounded time.
constexpr uint64_t kMaxCanvasPixels = uint64_t(1) << 22;
constexpr uint32_t kMaxFrames = 64;

bool Small(const uint8_t* data, size_t size) {
    WebPData whole{data, size};
    WebPDemuxState state;
    WebPDemuxer* demux = WebPDemuxPartial(&whole, &state);
    if (demux == nullptr) {
        return true;
    }
    const uint64_t pixels = uint64_t(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH)) *
                            WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    WebPDemuxDelete(demux);
    return pixels <= kMaxCanvasPixels;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orv::fuzz::UseDefaultSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orv::WebPTranslator translator;
    if (!Small(data, size)) {
        return 0;
    }
    BMemoryIO source(data, size);
    std::unique_ptr<orv::PictureReader> reader;
    if (!orv::fuzz::OpenReaderOrRefuse(translator, source, &reader)) {
        return 0;
    }
    const orv::PictureInfo& info = reader->Info();
    for (uint32_t i = 0; i < info.frameCount && i < kMaxFrames; i++) {
        std::unique_ptr<BBitmap> frame;
        orv::FrameTiming timing;
        if (reader->ReadFrame(&frame, &timing) != B_OK) {
            break;
        }
        orv::fuzz::ExpectWholeFrame(frame.get(), info);
    }
    return 0;
}
