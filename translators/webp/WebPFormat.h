// SPDX-License-Identifier: MIT
// The one format the WebP translator reads and writes, shared by its reader, its writer
// and the translator's lists.
#pragma once

#include "platform/translation/TranslationDefs.h"

namespace orv {

inline constexpr translation_format kWebPFormats[] = {
    {FourCC("WEBP"), B_TRANSLATOR_BITMAP, 0.9f, 0.8f, "image/webp", "Image WebP"},
};

}  // namespace orv
