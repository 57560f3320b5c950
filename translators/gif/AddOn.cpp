// SPDX-License-Identifier: MIT
// The add-on's one entry point: the roster calls it with 0, 1, 2 ... until it answers null,
// and owns every translator it gets.
#include "translators/gif/GIFTranslator.h"

extern "C" __attribute__((visibility("default"))) BTranslator* orv_make_translator(int32 n) {
    return n == 0 ? new orv::GIFTranslator() : nullptr;
}
