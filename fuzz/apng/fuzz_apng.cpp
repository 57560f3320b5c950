// SPDX-License-Identifier: MIT
// Any bytes through the PNG reader as the run uses it, frame after frame: animations must
// be composed or refused, never crash, leak or hang. The sequence is bounded first, as the
// run bounds it.
#include "fuzz/common/DecoderFuzzing.h"
#include "translators/png/PNGTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orv::fuzz::DecodeFrames<orv::PNGTranslator>(data, size);
}
