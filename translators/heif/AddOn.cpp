// SPDX-License-Identifier: MIT
#include "translators/heif/HEIFTranslator.h"

extern "C" BTranslator* orv_make_translator(int32 n) {
    return n == 0 ? new orv::HEIFTranslator() : nullptr;
}
