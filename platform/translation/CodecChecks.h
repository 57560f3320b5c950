// SPDX-License-Identifier: MIT
// The checks a codec that writes our own bitmaps makes before encoding, written once so
// that every such translator refuses the same requests with the same reasons.
#pragma once

#include "platform/interface/Bitmap.h"
#include "platform/support/SupportDefs.h"

namespace orv {

// B_OK when `image` can be written as `outType` by the translator of `formatType`: the
// output type is its own, the bitmap is B_RGB32 or B_RGBA32 and within CheckImageSize.
// Otherwise the failure, with its reason; `formatName` (e.g. "BMP") names the translator
// in the reason.
status_t CheckEncodeRequest(const BBitmap& image, uint32 outType, uint32 formatType,
                            const char* formatName);

}  // namespace orv
