// SPDX-License-Identifier: MIT
#include "platform/translation/CodecChecks.h"

#include <algorithm>
#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

namespace orv {

status_t CheckEncodeRequest(const BBitmap& image, uint32 outType,
                            std::span<const translation_format> outputs, const char* formatName) {
    const bool ownType =
        std::any_of(outputs.begin(), outputs.end(),
                    [outType](const translation_format& format) { return format.type == outType; });
    if (!ownType) {
        return Fail(B_NO_TRANSLATOR,
                    std::string("format de sortie inconnu du traducteur ") + formatName);
    }
    if (image.Bits() == nullptr) {
        return Fail(B_BAD_VALUE, "image sans pixels");
    }
    if (image.ColorSpace() != B_RGB32 && image.ColorSpace() != B_RGBA32) {
        return Fail(
            B_BAD_TYPE,
            std::string("espace de couleurs non pris en charge par l'encodeur ") + formatName);
    }
    return CheckImageSize(image.PixelWidth(), image.PixelHeight());
}

}  // namespace orv
