// SPDX-License-Identifier: MIT
#include "platform/support/ImageLimits.h"

#include "platform/support/ErrorReason.h"

namespace orv {

status_t CheckImageSize(uint64 width, uint64 height) {
    if (width == 0 || height == 0) {
        return Fail(B_BAD_VALUE, "image sans pixel : largeur ou hauteur nulle");
    }
    if (width > kMaxImageSide || height > kMaxImageSide) {
        return Fail(B_BAD_VALUE, "image trop grande : un côté dépasse 65535 pixels");
    }
    // Both sides are at most 16 bits here, so the product cannot overflow.
    if (width * height > kMaxImagePixels) {
        return Fail(B_NO_MEMORY, "image trop grande : plus de 268 435 456 pixels");
    }
    return B_OK;
}

}  // namespace orv
