// SPDX-License-Identifier: MIT
// Any bytes through the PNG decoder: it must refuse or decode, never crash, leak or hang.
#include "fuzz/common/DecoderFuzzing.h"
#include "translators/png/PNGTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orv::fuzz::Decode<orv::PNGTranslator>(data, size);
}
