// SPDX-License-Identifier: MIT
#include "platform/interface/Font.h"

#include <cmath>

namespace {

// Sizes a display could draw; anything else (NaN, negative, absurd) keeps the old size.
constexpr float kLargestSize = 10000.0f;

const BFont kPlainFont;

BFont MakeBoldFont() {
    BFont font;
    font.SetFace(B_BOLD_FACE);
    return font;
}
const BFont kBoldFont = MakeBoldFont();

}  // namespace

const BFont* be_plain_font = &kPlainFont;
const BFont* be_bold_font = &kBoldFont;

BFont::BFont() = default;

void BFont::SetSize(float size) {
    if (std::isfinite(size) && size > 0 && size <= kLargestSize) {
        fSize = size;
    }
}

void BFont::CopyFrom(const BFont& other, uint32 mask) {
    if (mask & B_FONT_FAMILY_AND_STYLE) {
        fFamily = other.fFamily;
    }
    if (mask & B_FONT_SIZE) {
        fSize = other.fSize;
    }
    if (mask & B_FONT_FACE) {
        fFace = other.fFace;
    }
}
