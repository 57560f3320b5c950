// SPDX-License-Identifier: MIT
// Any bytes through the GIF reader frame after frame, as a conversion reads an animation:
// every frame the reader announces must come whole (or the reader says why not), never
// crash, leak or hang. Small sequences are then written again and must read back with as
// many frames and no damage.
#include <memory>

#include "fuzz/common/DecoderFuzzing.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/Picture.h"
#include "translators/gif/GIFTranslator.h"

namespace {

constexpr uint32 kGIF = 0x47494666;  // 'GIFf'

struct Frames {
    orv::PictureInfo info;
    std::vector<std::unique_ptr<BBitmap>> bitmaps;
    std::vector<orv::FrameTiming> timings;
    std::string damage;
};

// Reads as a conversion does: the sequence checked against the pixel limit before any
// frame. False when the file is refused.
bool ReadAll(orv::GIFTranslator& translator, const uint8_t* data, size_t size, uint64 limit,
             Frames* frames) {
    BMemoryIO source(data, size);
    std::unique_ptr<orv::PictureReader> reader;
    if (!orv::fuzz::OpenReaderOrRefuse(translator, source, &reader)) {
        return false;
    }
    frames->info = reader->Info();
    const orv::PictureInfo& info = frames->info;
    if (info.frameCount == 0 ||
        orv::CheckSequenceSize(info.width, info.height, info.frameCount) != B_OK ||
        uint64(info.width) * info.height * info.frameCount > limit) {
        return false;
    }
    for (uint32 i = 0; i < info.frameCount; i++) {
        std::unique_ptr<BBitmap> frame;
        orv::FrameTiming timing;
        orv::ClearErrorReason();
        if (reader->ReadFrame(&frame, &timing) != B_OK) {
            if (frame != nullptr || orv::ErrorReason().empty()) {
                abort();
            }
            return false;
        }
        orv::fuzz::ExpectWholeFrame(frame.get(), info);
        frames->bitmaps.push_back(std::move(frame));
        frames->timings.push_back(timing);
    }
    frames->damage = reader->Damage();
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool settings = (orv::fuzz::UseDefaultSettings(), true);
    (void)settings;
    static orv::GIFTranslator translator;
    Frames frames;
    if (!ReadAll(translator, data, size, uint64(1) << 22, &frames) ||
        uint64(frames.info.width) * frames.info.height * frames.info.frameCount > (1u << 16)) {
        return 0;
    }
    BMallocIO written;
    std::unique_ptr<orv::PictureWriter> writer;
    if (translator.OpenWriter(kGIF, written, &writer) != B_OK ||
        writer->Begin(frames.info) != B_OK) {
        abort();
    }
    for (size_t i = 0; i < frames.bitmaps.size(); i++) {
        if (writer->WriteFrame(*frames.bitmaps[i], frames.timings[i]) != B_OK) {
            abort();
        }
    }
    if (writer->Finish() != B_OK) {
        abort();
    }
    Frames again;
    if (!ReadAll(translator, static_cast<const uint8_t*>(written.Buffer()), written.BufferLength(),
                 UINT64_MAX, &again) ||
        again.bitmaps.size() != frames.bitmaps.size() || !again.damage.empty()) {
        abort();
    }
    return 0;
}
