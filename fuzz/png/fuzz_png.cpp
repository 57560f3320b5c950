// SPDX-License-Identifier: MIT
// Any bytes through the PNG decoder: it must refuse or decode, never crash, leak or hang.
#include "platform/support/DataIO.h"
#include "translators/png/PNGTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orv::PNGTranslator translator;
    BMemoryIO source(data, size);
    std::unique_ptr<BBitmap> image;
    translator.DecodeImage(source, &image);
    return 0;
}
