// SPDX-License-Identifier: MIT
// Any bytes through the PNG decoder: it must refuse or decode, never crash, leak or hang.
#include "fuzz/common/DecoderFuzzing.h"
#include "fuzz/png/RightCrcs.h"
#include "translators/png/PNGTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> righted = orv::fuzz::WithRightCrcs(data, size);
    orv::fuzz::Decode<orv::PNGTranslator>(righted.data(), righted.size());
    return orv::fuzz::Decode<orv::PNGTranslator>(data, size);
}
