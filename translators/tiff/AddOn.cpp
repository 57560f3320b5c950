// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFTranslator.h"

extern "C" __attribute__((visibility("default"))) BTranslator* orv_make_translator(int32 n) {
    return n == 0 ? new orv::TIFFTranslator() : nullptr;
}
