// SPDX-License-Identifier: MIT
// Helpers shared by the translation tests: a private settings folder and small bitmaps.
#pragma once

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/interface/Bitmap.h"

namespace orvtest {

// A fresh folder that XDG_CONFIG_HOME points to for the life of the object, so no test
// writes into the real settings of whoever runs it.
class ScratchConfig {
public:
    ScratchConfig() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orv-translation-XXXXXX").string();
        fPath = mkdtemp(pattern.data());
        setenv("XDG_CONFIG_HOME", fPath.c_str(), 1);
    }
    ~ScratchConfig() {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
    }
    const std::string& Path() const { return fPath; }

private:
    std::string fPath;
};

// A width × height bitmap whose every byte differs from its neighbours: pixel (x, y) is
// the word 0xAARRGGBB with B = x, G = y, R = x + 16·y, A = 255 − x (or 255 for B_RGB32).
inline std::unique_ptr<BBitmap> PatternBitmap(uint32 width, uint32 height,
                                              color_space space = B_RGBA32) {
    auto bitmap =
        std::make_unique<BBitmap>(BRect(0, 0, float(width) - 1, float(height) - 1), space);
    auto* pixels = static_cast<uint8*>(bitmap->Bits());
    for (uint32 y = 0; y < height; ++y) {
        for (uint32 x = 0; x < width; ++x) {
            uint8* p = pixels + (size_t(y) * width + x) * 4;
            p[0] = uint8(x);
            p[1] = uint8(y);
            p[2] = uint8(x + 16 * y);
            p[3] = space == B_RGBA32 ? uint8(255 - x) : 255;
        }
    }
    return bitmap;
}

inline bool SamePixels(const BBitmap& a, const BBitmap& b) {
    return a.Bounds() == b.Bounds() && a.ColorSpace() == b.ColorSpace() &&
           a.BitsLength() == b.BitsLength() &&
           std::memcmp(a.Bits(), b.Bits(), size_t(a.BitsLength())) == 0;
}

}  // namespace orvtest
