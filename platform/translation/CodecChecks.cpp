// SPDX-License-Identifier: MIT
#include "platform/translation/CodecChecks.h"

#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

namespace orv {

status_t CheckEncodeRequest(const BBitmap& image, uint32 outType, uint32 formatType,
                            const char* formatName) {
    if (outType != formatType) {
        return Fail(B_NO_TRANSLATOR,
                    std::string("format de sortie inconnu du traducteur ") + formatName);
    }
    if (image.ColorSpace() != B_RGB32 && image.ColorSpace() != B_RGBA32) {
        return Fail(B_BAD_TYPE, "espace de couleurs non pris en charge");
    }
    return CheckImageSize(image.PixelWidth(), image.PixelHeight());
}

}  // namespace orv
