// SPDX-License-Identifier: MIT
#include "translators/tga/TGATranslator.h"

extern "C" __attribute__((visibility("default"))) BTranslator* orv_make_translator(int32 n) {
    return n == 0 ? new orv::TGATranslator() : nullptr;
}
