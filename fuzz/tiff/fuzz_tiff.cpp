// SPDX-License-Identifier: MIT
// Any bytes through the TIFF decoder, and what it decodes back through the encoder.
#include "fuzz/common/DecoderFuzzing.h"
#include "translators/tiff/TIFFTranslator.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orv::fuzz::UseDefaultSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return orv::fuzz::DecodeAndRoundTrip<orv::TIFFTranslator>(data, size, FourCC("TIFF"));
}
