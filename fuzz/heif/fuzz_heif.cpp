// SPDX-License-Identifier: MIT
// Any bytes through the HEIF decoder: it must refuse or decode, never crash, leak or hang.
#include "platform/support/DataIO.h"
#include "translators/heif/HEIFTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orv::HEIFTranslator translator;
    BMemoryIO source(data, size);
    std::unique_ptr<BBitmap> image;
    translator.DecodeImage(source, &image);
    return 0;
}
