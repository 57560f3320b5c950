// SPDX-License-Identifier: MIT
// Any bytes through the HEIF decoder, every page: it must refuse or decode, never crash,
// leak or hang.
#include "fuzz/common/DecoderFuzzing.h"
#include "translators/heif/HEIFTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orv::fuzz::DecodeFrames<orv::HEIFTranslator>(data, size);
}
