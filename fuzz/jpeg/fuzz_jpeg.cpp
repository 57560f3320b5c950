// SPDX-License-Identifier: MIT
// Any bytes through the JPEG reader, at the reduced size the input picks, and what it read
// (pixels and metadata) through the writer: never a crash, a leak or a hang.
#include "fuzz/common/DecoderFuzzing.h"
#include "translators/jpeg/JPEGTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orv::JPEGTranslator translator;
    BMemoryIO source(data, size);
    std::unique_ptr<orv::PictureReader> reader;
    if (translator.OpenReader(source, &reader) != B_OK) {
        return 0;
    }
    // 1 to 9: every DCT scale, and the full size, are reached.
    const uint32 divisor = size > 0 ? 1 + data[size - 1] % 9 : 1;
    reader->SetSizeHint(reader->Info().width / divisor, reader->Info().height / divisor);
    std::unique_ptr<BBitmap> frame;
    orv::FrameTiming timing;
    if (reader->ReadFrame(&frame, &timing) != B_OK) {
        return 0;
    }
    orv::PictureInfo info = reader->Info();
    info.width = frame->PixelWidth();
    info.height = frame->PixelHeight();
    BMallocIO written;
    translator.EncodePicture(*frame, info, FourCC("JPEG"), written);
    return 0;
}
