// SPDX-License-Identifier: MIT
// Scaling: choosing the new size from the two typed texts, then resampling the image into
// a new bitmap of that size.
#include <cstdlib>

#include "image/OrvImage.h"
#include "platform/interface/BitmapDrawing.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

namespace {

// A side as typed: leading blanks, a sign, digits up to the first other character. No
// number at all reads as 0, "side not given".
int64 ReadSide(const char* text) {
    return text != nullptr ? int64(std::strtol(text, nullptr, 10)) : 0;
}

// A typed side that is about to be used must be one a bitmap can have: a negative number
// read as an unsigned size would ask for a huge bitmap.
bool CheckTypedSide(int64 side) {
    if (side < 0) {
        orv::Fail(B_BAD_VALUE, "taille négative demandée");
        return false;
    }
    if (uint64(side) > orv::kMaxImageSide) {
        orv::Fail(B_BAD_VALUE, "taille demandée de plus de 65535 pixels");
        return false;
    }
    return true;
}

}  // namespace

status_t ScaledSize(uint32 width, uint32 height, const char* widthText, const char* heightText,
                    bool keepRatio, uint32* newWidthOut, uint32* newHeightOut) {
    const int64 typedWidth = ReadSide(widthText);
    const int64 typedHeight = ReadSide(heightText);
    if (width == 0 || height == 0) {
        // Keeping the proportions of nothing would divide by zero.
        return orv::Fail(B_BAD_VALUE, "image vide");
    }

    // Typed sides are at most 65535 once checked, so the products fit easily in 64 bits.
    uint64 newWidth = width;
    uint64 newHeight = height;
    if (keepRatio) {
        if (typedWidth != 0) {
            if (!CheckTypedSide(typedWidth)) {
                return B_BAD_VALUE;
            }
            newWidth = uint64(typedWidth);
            newHeight = uint64(height) * newWidth / width;
        } else if (typedHeight != 0) {
            if (!CheckTypedSide(typedHeight)) {
                return B_BAD_VALUE;
            }
            newHeight = uint64(typedHeight);
            newWidth = uint64(width) * newHeight / height;
        }
    } else {
        if (typedWidth != 0) {
            if (!CheckTypedSide(typedWidth)) {
                return B_BAD_VALUE;
            }
            newWidth = uint64(typedWidth);
        }
        if (typedHeight != 0) {
            if (!CheckTypedSide(typedHeight)) {
                return B_BAD_VALUE;
            }
            newHeight = uint64(typedHeight);
        }
    }
    // A side that the proportions shrink below one pixel keeps one pixel.
    newWidth = newWidth == 0 ? 1 : newWidth;
    newHeight = newHeight == 0 ? 1 : newHeight;
    if (const status_t status = orv::CheckImageSize(newWidth, newHeight); status != B_OK) {
        return status;
    }
    *newWidthOut = uint32(newWidth);
    *newHeightOut = uint32(newHeight);
    return B_OK;
}

std::unique_ptr<OrvImage> OrvImage::Scale(const char* widthText, const char* heightText,
                                          bool keepRatio) const {
    uint32 width = 0;
    uint32 height = 0;
    if (ScaledSize(PixelWidth(), PixelHeight(), widthText, heightText, keepRatio, &width,
                   &height) != B_OK) {
        return nullptr;
    }
    return Scale(width, height);
}

std::unique_ptr<OrvImage> OrvImage::Scale(uint32 width, uint32 height) const {
    if (orv::CheckImageSize(width, height) != B_OK) {
        return nullptr;
    }
    if (!IsRGB32Space(ColorSpace())) {
        orv::Fail(B_BAD_TYPE, "espace de couleurs impossible à redimensionner");
        return nullptr;
    }
    const BRect bounds(0, 0, float(width - 1), float(height - 1));
    auto result = std::make_unique<OrvImage>(bounds, ColorSpace());
    if (result->InitCheck() != B_OK ||
        orv::DrawBitmapScaled(*this, *result, bounds, bounds) != B_OK) {
        return nullptr;
    }
    return result;
}
