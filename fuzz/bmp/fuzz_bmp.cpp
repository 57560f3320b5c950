// SPDX-License-Identifier: MIT
// Any bytes through the BMP decoder, and what it decodes back through the encoder.
#include <cstdlib>

#include "fuzz/common/DecoderFuzzing.h"
#include "platform/support/ByteOrder.h"
#include "translators/bmp/BMPTranslator.h"

namespace {

// A run-length file of a few hundred bytes may rightly end at once and leave a picture of
// hundreds of megapixels blank; such pictures only make the fuzzer slow, so they are left
// to the tests.
bool DeclaresHugePicture(const uint8_t* data, size_t size) {
    if (size < 26) {
        return false;
    }
    const bool core = orv::ReadLE32(data + 14) == 12;  // the OS/2 header has 16-bit sides
    const int64 width = core ? int64(orv::ReadLE16(data + 18)) : int32(orv::ReadLE32(data + 18));
    const int64 height = core ? int64(orv::ReadLE16(data + 20)) : int32(orv::ReadLE32(data + 22));
    return std::llabs(width) * std::llabs(height) > (int64(1) << 22);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    orv::fuzz::UseDefaultSettings();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (DeclaresHugePicture(data, size)) {
        return 0;
    }
    return orv::fuzz::DecodeAndRoundTrip<orv::BMPTranslator>(data, size, FourCC("BMP "));
}
