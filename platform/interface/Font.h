// SPDX-License-Identifier: MIT
// BFont: the font a view draws its text in. Only what a display can honour is kept: the
// family (empty: the display's own default), the face bits and the size in points.
#pragma once

#include <string>

#include "platform/support/SupportDefs.h"

// Face bits.
enum : uint16 {
    B_ITALIC_FACE = 0x0001,
    B_UNDERSCORE_FACE = 0x0002,
    B_STRIKEOUT_FACE = 0x0010,
    B_BOLD_FACE = 0x0020,
    B_REGULAR_FACE = 0x0040,
};

// Which properties SetFont copies.
enum : uint32 {
    B_FONT_FAMILY_AND_STYLE = 0x00000001,
    B_FONT_SIZE = 0x00000002,
    B_FONT_FACE = 0x00000040,
    B_FONT_ALL = 0x000000FF,
};

class BFont {
public:
    // The default (plain) font.
    BFont();
    BFont(const BFont&) = default;
    BFont& operator=(const BFont&) = default;

    const char* Family() const { return fFamily.c_str(); }
    void SetFace(uint16 face) { fFace = face; }
    uint16 Face() const { return fFace; }
    void SetSize(float size);
    float Size() const { return fSize; }

    // Copies from `other` the properties named in `mask`.
    void CopyFrom(const BFont& other, uint32 mask);

    bool operator==(const BFont&) const = default;

    static constexpr float kDefaultSize = 12.0f;

private:
    std::string fFamily;
    uint16 fFace = B_REGULAR_FACE;
    float fSize = kDefaultSize;
};

extern const BFont* be_plain_font;
extern const BFont* be_bold_font;
