// SPDX-License-Identifier: MIT
// Any bytes through the WebP decoder: it must refuse or decode, never crash, leak or hang.
#include <webp/decode.h>

#include "fuzz/common/DecoderFuzzing.h"
#include "translators/webp/WebPTranslator.h"

namespace {

// A lossless header of a few bytes may declare a picture of hundreds of megapixels, within
// the program's size limit; libwebp then reserves its working rows next to our bitmap and
// the pair outgrows the fuzzer's memory bound without anything being wrong. Pictures over
// 4 megapixels are left out here, as for the other codecs whose files can be that small.
bool Small(const uint8_t* data, size_t size) {
    int width = 0;
    int height = 0;
    return WebPGetInfo(data, size, &width, &height) == 0 ||
           uint64_t(width) * uint64_t(height) <= (uint64_t(1) << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!Small(data, size)) {
        return 0;
    }
    return orv::fuzz::Decode<orv::WebPTranslator>(data, size);
}
