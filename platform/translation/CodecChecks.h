// SPDX-License-Identifier: MIT
// The checks a codec that writes our own bitmaps makes before encoding, written once so
// that every such translator refuses the same requests with the same reasons.
#pragma once

#include <span>

#include "platform/interface/Bitmap.h"
#include "platform/support/SupportDefs.h"
#include "platform/translation/TranslationDefs.h"

namespace orv {

// B_OK when `image` can be written as `outType` by a translator that writes `outputs`: the
// output type is one of them, and the bitmap has its pixels, is B_RGB32 or B_RGBA32 and is
// within CheckImageSize. Otherwise the failure, with its reason; `formatName` (e.g. "BMP")
// names the translator in the reason.
status_t CheckEncodeRequest(const BBitmap& image, uint32 outType,
                            std::span<const translation_format> outputs, const char* formatName);

}  // namespace orv
