// SPDX-License-Identifier: MIT
// Any bytes through the AVIF decoder, every frame of a sequence: it must refuse or decode,
// never crash, leak or hang.
#include <avif/avif.h>

#include "fuzz/common/DecoderFuzzing.h"
#include "translators/avif/AVIFTranslator.h"

namespace {

// AV1 codes a blank frame of 200 megapixels in a few hundred bytes. Such a picture is
// within the program's size limit and decodes, slowly, as it should; the fuzzer would only
// spend its time on it, so sequences of over 4 megapixels in all are left out here.
bool Small(const uint8_t* data, size_t size) {
    avifDecoder* decoder = avifDecoderCreate();
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    decoder->imageDimensionLimit = 65535;
    bool small = avifDecoderSetIOMemory(decoder, data, size) != AVIF_RESULT_OK ||
                 avifDecoderParse(decoder) != AVIF_RESULT_OK ||
                 uint64_t(decoder->image->width) * decoder->image->height *
                         uint64_t(decoder->imageCount > 0 ? decoder->imageCount : 1) <=
                     (uint64_t(1) << 22);
    avifDecoderDestroy(decoder);
    return small;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!Small(data, size)) {
        return 0;
    }
    return orv::fuzz::DecodeFrames<orv::AVIFTranslator>(data, size);
}
