// SPDX-License-Identifier: MIT
// The fuzzing bodies the decoders share. Any bytes must be decoded or refused, never crash,
// leak or hang. The lossless codecs (QOI, TGA, BMP, TIFF) are held to more: a failure must
// leave nothing behind and say why, and a decoded picture must survive being written and
// read back with the translator's default settings, pixel for pixel.
#pragma once

#include <stdlib.h>

#include <cstring>
#include <memory>

#include "platform/interface/Bitmap.h"
#include "platform/support/DataIO.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/PictureIO.h"

namespace orv::fuzz {

// Settings come from $XDG_CONFIG_HOME: an empty one gives the defaults, whatever the
// user running the fuzzer has chosen.
inline void UseDefaultSettings() {
    char dir[] = "/tmp/orvane-fuzz-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        abort();
    }
    setenv("XDG_CONFIG_HOME", dir, 1);
}

inline bool SamePixels(const BBitmap& a, const BBitmap& b) {
    if (a.PixelWidth() != b.PixelWidth() || a.PixelHeight() != b.PixelHeight()) {
        return false;
    }
    const bool alpha = a.ColorSpace() == B_RGBA32 && b.ColorSpace() == B_RGBA32;
    const size_t count = size_t(a.PixelWidth()) * a.PixelHeight();
    const auto* p = static_cast<const uint8*>(a.Bits());
    const auto* q = static_cast<const uint8*>(b.Bits());
    for (size_t i = 0; i < count; i++, p += 4, q += 4) {
        if (std::memcmp(p, q, 3) != 0 || (alpha && p[3] != q[3])) {
            return false;
        }
    }
    return true;
}

// Opens the translator's reader on `source`; false when the file is refused, which must
// leave no reader behind and say why.
inline bool OpenReaderOrRefuse(ImageTranslator& translator, BPositionIO& source,
                               std::unique_ptr<PictureReader>* reader) {
    ClearErrorReason();
    if (translator.OpenReader(source, reader) == B_OK) {
        return true;
    }
    if (*reader != nullptr || ErrorReason().empty()) {
        abort();  // a refusal leaves nothing behind and says why
    }
    return false;
}

// Every frame a reader delivers is the whole canvas of the size it announced.
inline void ExpectWholeFrame(const BBitmap* frame, const PictureInfo& info) {
    if (frame == nullptr || frame->PixelWidth() != info.width ||
        frame->PixelHeight() != info.height) {
        abort();
    }
}

// For the lossy codecs and those whose round trip is not exact: decoding alone.
template <class Translator>
int Decode(const uint8_t* data, size_t size) {
    static Translator translator;
    BMemoryIO source(data, size);
    std::unique_ptr<BBitmap> image;
    translator.DecodeImage(source, &image);
    return 0;
}

// For the codecs with sequences: every frame the reader announces, as the run reads them
// (within the run's limit on a whole sequence). A frame that fails ends the file; a frame
// must have the canvas's size.
template <class Translator>
int DecodeFrames(const uint8_t* data, size_t size) {
    static Translator translator;
    BMemoryIO source(data, size);
    std::unique_ptr<PictureReader> reader;
    if (translator.OpenReader(source, &reader) != B_OK) {
        return 0;
    }
    const PictureInfo& info = reader->Info();
    if (CheckSequenceSize(info.width, info.height, info.frameCount) != B_OK) {
        return 0;
    }
    for (uint32 i = 0; i < info.frameCount; i++) {
        std::unique_ptr<BBitmap> frame;
        FrameTiming timing;
        if (reader->ReadFrame(&frame, &timing) != B_OK) {
            break;
        }
        ExpectWholeFrame(frame.get(), info);
    }
    return 0;
}

template <class Translator>
int DecodeAndRoundTrip(const uint8_t* data, size_t size, uint32 type) {
    static Translator translator;
    BMemoryIO source(data, size);
    std::unique_ptr<BBitmap> image;
    ClearErrorReason();
    if (translator.DecodeImage(source, &image) != B_OK) {
        if (image || ErrorReason().empty()) {
            abort();  // a failure must leave nothing behind and say why
        }
        return 0;
    }
    if (!image || !image->IsValid()) {
        abort();
    }
    BMallocIO written;
    if (translator.EncodeImage(*image, type, written) != B_OK) {
        abort();
    }
    BMemoryIO again(written.Buffer(), written.BufferLength());
    std::unique_ptr<BBitmap> back;
    if (translator.DecodeImage(again, &back) != B_OK || !SamePixels(*image, *back)) {
        abort();
    }
    return 0;
}

}  // namespace orv::fuzz
