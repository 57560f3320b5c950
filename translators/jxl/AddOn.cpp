// SPDX-License-Identifier: MIT
#include "translators/jxl/JXLTranslator.h"

extern "C" BTranslator* orv_make_translator(int32 n) {
    return n == 0 ? new orv::JXLTranslator() : nullptr;
}
