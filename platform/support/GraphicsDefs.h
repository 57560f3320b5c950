// SPDX-License-Identifier: MIT
// Colours and colour spaces.
#pragma once

#include "platform/support/SupportDefs.h"

struct rgb_color {
    uint8 red = 0;
    uint8 green = 0;
    uint8 blue = 0;
    uint8 alpha = 0;

    constexpr bool operator==(const rgb_color&) const = default;
};

constexpr rgb_color make_color(uint8 red, uint8 green, uint8 blue, uint8 alpha = 255) {
    return rgb_color{red, green, blue, alpha};
}

enum color_space : uint32 {
    B_NO_COLOR_SPACE = 0x0000,
    // 32 bits per pixel; B_RGB32 and B_RGBA32 store blue, green, red, alpha in memory.
    B_RGB32 = 0x0008,
    B_RGBA32 = 0x2008,
    B_RGB24 = 0x0003,
    B_RGB16 = 0x0005,
    B_RGB15 = 0x0010,
    B_RGBA15 = 0x2010,
    B_CMAP8 = 0x0004,
    B_GRAY8 = 0x0002,
    B_GRAY1 = 0x0001,
    // The same layouts with the bytes of each pixel in the opposite order.
    B_RGB32_BIG = 0x1008,
    B_RGBA32_BIG = 0x3008,
    B_RGB24_BIG = 0x1003,
    B_RGB16_BIG = 0x1005,
    B_RGB15_BIG = 0x1010,
    B_RGBA15_BIG = 0x3010,
};

// True for the four spaces whose pixels are one 32-bit word.
constexpr bool IsRGB32Space(color_space space) {
    return space == B_RGB32 || space == B_RGBA32 || space == B_RGB32_BIG || space == B_RGBA32_BIG;
}

// Bits per pixel of a colour space; 0 for an unknown one.
constexpr uint32 BitsPerPixel(color_space space) {
    switch (space) {
        case B_RGB32:
        case B_RGBA32:
        case B_RGB32_BIG:
        case B_RGBA32_BIG:
            return 32;
        case B_RGB24:
        case B_RGB24_BIG:
            return 24;
        case B_RGB16:
        case B_RGB15:
        case B_RGBA15:
        case B_RGB16_BIG:
        case B_RGB15_BIG:
        case B_RGBA15_BIG:
            return 16;
        case B_CMAP8:
        case B_GRAY8:
            return 8;
        case B_GRAY1:
            return 1;
        case B_NO_COLOR_SPACE:
            return 0;
    }
    return 0;
}
