// SPDX-License-Identifier: MIT
// Any bytes through the JPEG XL decoder, every frame of an animation: it must refuse or
// decode, never crash, leak or hang.
#include "fuzz/common/DecoderFuzzing.h"
#include "translators/jxl/JXLTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orv::fuzz::DecodeFrames<orv::JXLTranslator>(data, size);
}
