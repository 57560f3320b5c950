// SPDX-License-Identifier: MIT
// Helpers shared by the image tests: pictures from words or random bytes, and their words.
#pragma once

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "image/OrvImage.h"

namespace orv::test {

inline std::unique_ptr<OrvImage> FromWords(uint32 width, uint32 height,
                                           const std::vector<uint32>& words,
                                           color_space space = B_RGB32) {
    auto image = std::make_unique<OrvImage>(BRect(0, 0, width - 1, height - 1), space);
    if (!words.empty()) {
        std::memcpy(image->Bits(), words.data(), words.size() * 4);
    }
    return image;
}

inline std::unique_ptr<OrvImage> RandomImage(uint32 width, uint32 height, uint32 seed,
                                             color_space space = B_RGB32) {
    auto image = FromWords(width, height, {}, space);
    std::mt19937 random(seed);
    auto* bytes = static_cast<uint8*>(image->Bits());
    std::generate(bytes, bytes + image->BitsLength(), [&] { return uint8(random()); });
    return image;
}

inline std::vector<uint32> Words(const BBitmap& image) {
    std::vector<uint32> words(size_t(image.BitsLength()) / 4);
    if (!words.empty()) {
        std::memcpy(words.data(), image.Bits(), words.size() * 4);
    }
    return words;
}

}  // namespace orv::test
