// SPDX-License-Identifier: MIT
// Small helpers shared by the image tests: pictures from words, random pictures, and the
// words of a picture.
#pragma once

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "image/OrvImage.h"

namespace orv::test {

// A width × height image whose top-left corner sits at (left, top).
inline std::unique_ptr<OrvImage> MakeImage(uint32 width, uint32 height, color_space space = B_RGB32,
                                           float left = 0, float top = 0) {
    return std::make_unique<OrvImage>(
        BRect(left, top, left + float(width) - 1, top + float(height) - 1), space);
}

inline std::unique_ptr<OrvImage> FromWords(uint32 width, uint32 height,
                                           const std::vector<uint32>& words,
                                           color_space space = B_RGB32) {
    auto image = MakeImage(width, height, space);
    std::memcpy(image->Bits(), words.data(), words.size() * 4);
    return image;
}

inline std::unique_ptr<OrvImage> RandomImage(uint32 width, uint32 height, uint32 seed,
                                             color_space space = B_RGB32) {
    auto image = MakeImage(width, height, space);
    std::mt19937 random(seed);
    auto* bytes = static_cast<uint8*>(image->Bits());
    for (int32 i = 0; i < image->BitsLength(); ++i) {
        bytes[i] = uint8(random());
    }
    return image;
}

inline std::vector<uint32> Words(const BBitmap& image) {
    std::vector<uint32> words(size_t(image.BitsLength()) / 4);
    if (!words.empty()) {
        std::memcpy(words.data(), image.Bits(), words.size() * 4);
    }
    return words;
}

inline uint32 Byte(uint32 word, int k) {
    return (word >> (8 * k)) & 0xFF;
}

// The sizes the random comparisons run on: single pixels, single rows and columns, the
// smallest images with and without an interior, and a few odd shapes.
inline constexpr uint32 kSizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 2},  {2, 5},
                                       {3, 3}, {5, 2}, {4, 9}, {17, 3}, {33, 31}};

}  // namespace orv::test
