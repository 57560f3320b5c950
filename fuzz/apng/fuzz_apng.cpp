// SPDX-License-Identifier: MIT
// Any bytes through the PNG reader as the run uses it, frame after frame: animations must
// be composed or refused, never crash, leak or hang. The sequence is bounded first, as the
// run bounds it.
#include "fuzz/common/DecoderFuzzing.h"
#include "platform/translation/PictureIO.h"
#include "translators/png/PNGTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orv::PNGTranslator translator;
    BMemoryIO source(data, size);
    std::unique_ptr<orv::PictureReader> reader;
    if (translator.OpenReader(source, &reader) != B_OK) {
        return 0;
    }
    const orv::PictureInfo& info = reader->Info();
    if (orv::CheckSequenceSize(info.width, info.height, info.frameCount) != B_OK) {
        return 0;
    }
    for (uint32 i = 0; i < info.frameCount; i++) {
        std::unique_ptr<BBitmap> frame;
        orv::FrameTiming timing;
        if (reader->ReadFrame(&frame, &timing) != B_OK) {
            break;
        }
        if (frame->PixelWidth() != info.width || frame->PixelHeight() != info.height) {
            abort();  // every frame is the whole canvas
        }
    }
    return 0;
}
