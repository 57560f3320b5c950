// SPDX-License-Identifier: MIT
// Any bytes through the PNG reader as the run uses it, frame after frame: animations must
// be composed or refused, never crash, leak or hang. The sequence is bounded first, as the
// run bounds it.
#include "fuzz/common/DecoderFuzzing.h"
#include "fuzz/png/RightCrcs.h"
#include "translators/png/PNGTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> righted = orv::fuzz::WithRightCrcs(data, size);
    orv::fuzz::DecodeFrames<orv::PNGTranslator>(righted.data(), righted.size());
    return orv::fuzz::DecodeFrames<orv::PNGTranslator>(data, size);
}
