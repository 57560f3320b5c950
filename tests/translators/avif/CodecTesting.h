// SPDX-License-Identifier: MIT
// What the AVIF, JPEG XL and HEIF suites share: test pictures, a reference for the eight
// orientations written independently of the translators, PSNR, and encode/decode through
// memory streams.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/support/DataIO.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv::testing {

// Settings files go to a folder of the test's own, never to the user's configuration.
inline const bool kPrivateConfigHome = [] {
    char folder[] = "/tmp/orvane-codec-test-XXXXXX";
    if (mkdtemp(folder) != nullptr) {
        setenv("XDG_CONFIG_HOME", folder, 1);
    }
    return true;
}();

inline uint32 Pixel(const BBitmap& image, uint32 x, uint32 y) {
    const auto* row = static_cast<const uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow();
    const uint8* p = row + size_t(x) * 4;
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}

inline void SetPixel(BBitmap& image, uint32 x, uint32 y, uint32 argb) {
    auto* row = static_cast<uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow();
    uint8* p = row + size_t(x) * 4;
    p[0] = uint8(argb);
    p[1] = uint8(argb >> 8);
    p[2] = uint8(argb >> 16);
    p[3] = uint8(argb >> 24);
}

inline std::unique_ptr<BBitmap> NewBitmap(uint32 width, uint32 height, bool alpha) {
    auto image = std::make_unique<BBitmap>(BRect(0, 0, float(width) - 1, float(height) - 1),
                                           alpha ? B_RGBA32 : B_RGB32);
    EXPECT_EQ(image->InitCheck(), B_OK);
    return image;
}

// A picture with smooth gradients (what lossy codecs are made for) and four differently
// coloured quadrants, so that each of the eight orientations looks different. With alpha,
// the opacity falls from left to right.
inline std::unique_ptr<BBitmap> TestPicture(uint32 width, uint32 height, bool alpha) {
    auto image = NewBitmap(width, height, alpha);
    constexpr uint32 kQuadrants[4] = {0xd02020, 0x20b040, 0x2040d0, 0xe0e0c0};
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            const uint32 base = kQuadrants[(y * 2 / height) * 2 + x * 2 / width];
            const uint32 shade = (x + y) * 32 / (width + height);
            uint32 r = ((base >> 16) & 0xff) - shade;
            uint32 g = ((base >> 8) & 0xff) - shade;
            uint32 b = (base & 0xff) - shade;
            const uint32 a = alpha ? 255 - x * 200 / width : 255;
            SetPixel(*image, x, y, a << 24 | (r & 0xff) << 16 | (g & 0xff) << 8 | (b & 0xff));
        }
    }
    return image;
}

// Noise-like pixels, so that a lossless round trip cannot pass by luck.
inline std::unique_ptr<BBitmap> NoisePicture(uint32 width, uint32 height, bool alpha) {
    auto image = NewBitmap(width, height, alpha);
    uint32 state = 12345;
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            state = state * 1103515245u + 12345u;
            const uint32 a = alpha ? (state >> 24) : 255;
            SetPixel(*image, x, y, a << 24 | (state >> 8 & 0xffffff));
        }
    }
    return image;
}

// The picture as it should look after an EXIF orientation is applied, computed pixel by
// pixel from what each value means.
inline std::unique_ptr<BBitmap> Upright(const BBitmap& source, int orientation) {
    const uint32 w = source.PixelWidth();
    const uint32 h = source.PixelHeight();
    const bool swap = orientation >= 5;
    auto result = NewBitmap(swap ? h : w, swap ? w : h, source.ColorSpace() == B_RGBA32);
    for (uint32 y = 0; y < result->PixelHeight(); y++) {
        for (uint32 x = 0; x < result->PixelWidth(); x++) {
            uint32 sx = x;
            uint32 sy = y;
            switch (orientation) {
                case 2:
                    sx = w - 1 - x;
                    break;
                case 3:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;
                case 4:
                    sy = h - 1 - y;
                    break;
                case 5:
                    sx = y;
                    sy = x;
                    break;
                case 6:
                    sx = y;
                    sy = h - 1 - x;
                    break;
                case 7:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;
                case 8:
                    sx = w - 1 - y;
                    sy = x;
                    break;
                default:
                    break;
            }
            SetPixel(*result, x, y, Pixel(source, sx, sy));
        }
    }
    return result;
}

// Peak signal-to-noise ratio over the colour bytes, and over alpha too when both have it.
inline double PSNR(const BBitmap& a, const BBitmap& b) {
    EXPECT_EQ(a.PixelWidth(), b.PixelWidth());
    EXPECT_EQ(a.PixelHeight(), b.PixelHeight());
    if (a.PixelWidth() != b.PixelWidth() || a.PixelHeight() != b.PixelHeight()) {
        return 0;
    }
    const int channels = a.ColorSpace() == B_RGBA32 && b.ColorSpace() == B_RGBA32 ? 4 : 3;
    double sum = 0;
    size_t count = 0;
    for (uint32 y = 0; y < a.PixelHeight(); y++) {
        for (uint32 x = 0; x < a.PixelWidth(); x++) {
            const uint32 pa = Pixel(a, x, y);
            const uint32 pb = Pixel(b, x, y);
            for (int c = 0; c < channels; c++) {
                const double d = double((pa >> (8 * c)) & 0xff) - double((pb >> (8 * c)) & 0xff);
                sum += d * d;
                count++;
            }
        }
    }
    if (sum == 0) {
        return 99;
    }
    return 10 * std::log10(255.0 * 255.0 / (sum / double(count)));
}

// True when every byte of every pixel matches (for B_RGB32 the fourth byte is not compared).
inline bool SamePixels(const BBitmap& a, const BBitmap& b) {
    if (a.PixelWidth() != b.PixelWidth() || a.PixelHeight() != b.PixelHeight()) {
        return false;
    }
    const uint32 mask = a.ColorSpace() == B_RGBA32 ? 0xffffffff : 0x00ffffff;
    for (uint32 y = 0; y < a.PixelHeight(); y++) {
        for (uint32 x = 0; x < a.PixelWidth(); x++) {
            if ((Pixel(a, x, y) & mask) != (Pixel(b, x, y) & mask)) {
                return false;
            }
        }
    }
    return true;
}

inline std::vector<uint8> Encode(ImageTranslator& translator, const BBitmap& image, uint32 type) {
    BMallocIO output;
    EXPECT_EQ(translator.EncodeImage(image, type, output), B_OK);
    const auto* data = static_cast<const uint8*>(output.Buffer());
    return std::vector<uint8>(data, data + output.BufferLength());
}

inline status_t Decode(ImageTranslator& translator, const std::vector<uint8>& data,
                       std::unique_ptr<BBitmap>* image) {
    BMemoryIO input(static_cast<const void*>(data.data()), data.size());
    return translator.DecodeImage(input, image);
}

inline std::unique_ptr<BBitmap> DecodeOK(ImageTranslator& translator,
                                         const std::vector<uint8>& data) {
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(Decode(translator, data, &image), B_OK);
    return image;
}

// The way the program itself goes: a roster holding the translator, a bitmap stream
// translated into `type`, and the file identified and translated back to a bitmap.
inline std::unique_ptr<BBitmap> RoundTripThroughRoster(BTranslator* translator,
                                                       const BBitmap& image, uint32 type) {
    BTranslatorRoster roster;
    EXPECT_EQ(roster.AddTranslator(translator), B_OK);
    auto copy = NewBitmap(image.PixelWidth(), image.PixelHeight(), image.ColorSpace() == B_RGBA32);
    std::memcpy(copy->Bits(), image.Bits(), size_t(image.BitsLength()));
    BBitmapStream source(copy.release());
    BMallocIO file;
    EXPECT_EQ(roster.Translate(&source, nullptr, nullptr, &file, type), B_OK);
    file.Seek(0, SEEK_FROM_START);
    translator_info info{};
    EXPECT_EQ(roster.Identify(&file, nullptr, &info), B_OK);
    EXPECT_EQ(info.type, type);
    BBitmapStream decoded;
    EXPECT_EQ(roster.Translate(&file, nullptr, nullptr, &decoded, B_TRANSLATOR_BITMAP), B_OK);
    BBitmap* result = nullptr;
    decoded.DetachBitmap(&result);
    return std::unique_ptr<BBitmap>(result);
}

// Every prefix cut at these fractions of the file must be refused, cleanly.
inline void ExpectTruncationsRefused(ImageTranslator& translator, const std::vector<uint8>& file) {
    for (double fraction : {0.0, 0.02, 0.1, 0.3, 0.5, 0.8, 0.95}) {
        const size_t length = size_t(double(file.size()) * fraction);
        std::vector<uint8> prefix(file.begin(), file.begin() + ptrdiff_t(length));
        std::unique_ptr<BBitmap> image;
        EXPECT_NE(Decode(translator, prefix, &image), B_OK) << "cut at " << length;
        EXPECT_EQ(image, nullptr);
    }
    std::vector<uint8> lastByteGone(file.begin(), file.end() - 1);
    std::unique_ptr<BBitmap> image;
    EXPECT_NE(Decode(translator, lastByteGone, &image), B_OK);
}

}  // namespace orv::testing
