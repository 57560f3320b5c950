// SPDX-License-Identifier: MIT
// Small helpers shared by the scaling tests: filling a picture pixel by pixel and reading
// it back as 0xAARRGGBB words.
#pragma once

#include <cstring>
#include <functional>
#include <memory>

#include "image/OrvImage.h"

namespace orv::test {

inline uint32 Argb(uint8 a, uint8 r, uint8 g, uint8 b) {
    return (uint32(a) << 24) | (uint32(r) << 16) | (uint32(g) << 8) | b;
}
inline uint8 Alpha(uint32 p) {
    return uint8(p >> 24);
}
inline uint8 Red(uint32 p) {
    return uint8(p >> 16);
}
inline uint8 Green(uint32 p) {
    return uint8(p >> 8);
}
inline uint8 Blue(uint32 p) {
    return uint8(p);
}

// Pixel (x, y) of a 32-bit bitmap as a 0xAARRGGBB word, whatever its byte order.
inline uint32 PixelAt(const BBitmap& bitmap, uint32 x, uint32 y) {
    uint32 word;
    std::memcpy(
        &word,
        static_cast<const uint8*>(bitmap.Bits()) + size_t(y) * bitmap.BytesPerRow() + size_t(x) * 4,
        4);
    const bool big = bitmap.ColorSpace() == B_RGB32_BIG || bitmap.ColorSpace() == B_RGBA32_BIG;
    return big ? __builtin_bswap32(word) : word;
}

inline void SetPixel(BBitmap& bitmap, uint32 x, uint32 y, uint32 argb) {
    const bool big = bitmap.ColorSpace() == B_RGB32_BIG || bitmap.ColorSpace() == B_RGBA32_BIG;
    const uint32 word = big ? __builtin_bswap32(argb) : argb;
    std::memcpy(
        static_cast<uint8*>(bitmap.Bits()) + size_t(y) * bitmap.BytesPerRow() + size_t(x) * 4,
        &word, 4);
}

inline std::unique_ptr<OrvImage> MakeImage(BRect bounds, color_space space,
                                           const std::function<uint32(uint32, uint32)>& pixel) {
    auto image = std::make_unique<OrvImage>(bounds, space);
    for (uint32 y = 0; y < image->PixelHeight(); y++) {
        for (uint32 x = 0; x < image->PixelWidth(); x++) {
            SetPixel(*image, x, y, pixel(x, y));
        }
    }
    return image;
}

inline std::unique_ptr<OrvImage> MakeImage(uint32 width, uint32 height, color_space space,
                                           const std::function<uint32(uint32, uint32)>& pixel) {
    return MakeImage(BRect(0, 0, float(width) - 1, float(height) - 1), space, pixel);
}

}  // namespace orv::test
