// SPDX-License-Identifier: MIT
// What the QOI, TGA, BMP and TIFF suites share: files, test pictures, a reader for the
// corpus's PPM/PAM references, pixel comparisons and the truncation sweep.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/support/DataIO.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/PixelRows.h"
#include "platform/translation/TranslatorRoster.h"

namespace orv::test {

inline std::string CorpusPath(const std::string& relative) {
    return std::string(ORVANE_CORPUS_DIR) + "/" + relative;
}

inline std::vector<uint8> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::vector<uint8>(std::istreambuf_iterator<char>(in), {});
}

// Settings live under $XDG_CONFIG_HOME: each test process gets an empty one, so the user's
// settings never leak in and every translator starts from its defaults.
class FreshConfigEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        char dir[] = "/tmp/orvane-codec-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        fDir = dir;
        setenv("XDG_CONFIG_HOME", dir, 1);
    }
    void TearDown() override { std::filesystem::remove_all(fDir); }

private:
    std::string fDir;
};
inline ::testing::Environment* const kFreshConfig =
    ::testing::AddGlobalTestEnvironment(new FreshConfigEnvironment);

// Puts back the defaults a test changed: settings are saved, and later tests in the same
// process (the add-on's own instance included) would read them.
inline void RestoreDefaults(ImageTranslator& translator) {
    for (const SettingSpec& spec : translator.Settings().Schema())
        EXPECT_EQ(translator.Settings().Set(spec.name, spec.defaultValue), B_OK);
}

inline status_t Decode(ImageTranslator& translator, const std::vector<uint8>& bytes,
                       std::unique_ptr<BBitmap>* image) {
    BMemoryIO source(bytes.data(), bytes.size());
    ClearErrorReason();
    return translator.DecodeImage(source, image);
}

inline std::unique_ptr<BBitmap> DecodeOK(ImageTranslator& translator,
                                         const std::vector<uint8>& bytes) {
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(Decode(translator, bytes, &image), B_OK) << ErrorReason();
    return image;
}

inline std::vector<uint8> Encode(ImageTranslator& translator, const BBitmap& image, uint32 type) {
    BMallocIO out;
    EXPECT_EQ(translator.EncodeImage(image, type, out), B_OK) << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

inline const uint8* Pixel(const BBitmap& image, uint32 x, uint32 y) {
    return static_cast<const uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow() + x * 4;
}

inline uint8* MutablePixel(BBitmap& image, uint32 x, uint32 y) {
    return static_cast<uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow() + x * 4;
}

// Gradients, sharp edges and, with `alpha`, every alpha level: no two neighbouring rows or
// columns alike, so a swapped channel, a flipped row or a shifted column shows.
inline std::unique_ptr<BBitmap> MakeTestImage(uint32 width, uint32 height, bool alpha) {
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(NewImage(width, height, alpha, &image), B_OK);
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            uint8* p = MutablePixel(*image, x, y);
            p[0] = uint8(x * 255 / std::max(1u, width - 1));
            p[1] = uint8(y * 255 / std::max(1u, height - 1));
            p[2] = ((x / 4 + y / 4) % 2) != 0 ? 220 : uint8(x * 7 + y * 3);
            p[3] = alpha ? uint8((x + y * width) % 256) : 255;
        }
    }
    return image;
}

// Compares every pixel; the alpha byte counts only when both are B_RGBA32.
inline void ExpectSamePixels(const BBitmap& expected, const BBitmap& actual, int tolerance = 0) {
    ASSERT_EQ(expected.PixelWidth(), actual.PixelWidth());
    ASSERT_EQ(expected.PixelHeight(), actual.PixelHeight());
    const int channels =
        expected.ColorSpace() == B_RGBA32 && actual.ColorSpace() == B_RGBA32 ? 4 : 3;
    int reported = 0;
    for (uint32 y = 0; y < expected.PixelHeight(); y++) {
        for (uint32 x = 0; x < expected.PixelWidth(); x++) {
            for (int c = 0; c < channels; c++) {
                int a = Pixel(expected, x, y)[c];
                int b = Pixel(actual, x, y)[c];
                if (std::abs(a - b) > tolerance && reported++ < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << a
                                  << " vs " << b;
            }
        }
    }
}

// A binary PPM (P6) or PAM (P7, RGB or RGB_ALPHA) of 8-bit samples, as a bitmap.
inline std::unique_ptr<BBitmap> ReadNetpbm(const std::string& path) {
    std::vector<uint8> bytes = ReadFile(path);
    std::string text(bytes.begin(), bytes.end());
    std::istringstream in(text);
    std::string magic;
    in >> magic;
    uint32 width = 0, height = 0, depth = 3, maxval = 0;
    if (magic == "P6") {
        in >> width >> height >> maxval;
        in.get();
    } else if (magic == "P7") {
        for (std::string key; in >> key && key != "ENDHDR";) {
            if (key == "WIDTH")
                in >> width;
            else if (key == "HEIGHT")
                in >> height;
            else if (key == "DEPTH")
                in >> depth;
            else if (key == "MAXVAL")
                in >> maxval;
            else
                in.ignore(1 << 20, '\n');
        }
        in.get();
    }
    EXPECT_EQ(maxval, 255u) << path;
    const size_t start = size_t(in.tellg());
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(NewImage(width, height, depth == 4, &image), B_OK) << path;
    EXPECT_EQ(bytes.size() - start, size_t(width) * height * depth) << path;
    for (uint32 y = 0; y < height; y++) {
        const uint8* row = bytes.data() + start + size_t(y) * width * depth;
        uint8* out = MutablePixel(*image, 0, y);
        if (depth == 4)
            RGBAToRow(row, out, width);
        else
            RGBToRow(row, out, width);
    }
    return image;
}

// Cut at many points, a file must be refused with a reason, never half-delivered.
inline void ExpectTruncationsRefused(ImageTranslator& translator, const std::vector<uint8>& bytes) {
    for (double fraction : {0.0, 0.01, 0.1, 0.3, 0.5, 0.7, 0.9, 0.99}) {
        size_t size = std::min(size_t(double(bytes.size()) * fraction), bytes.size() - 1);
        std::vector<uint8> cut(bytes.begin(), bytes.begin() + ptrdiff_t(size));
        std::unique_ptr<BBitmap> image;
        EXPECT_NE(Decode(translator, cut, &image), B_OK) << "cut at " << size;
        EXPECT_EQ(image, nullptr) << "cut at " << size;
        EXPECT_FALSE(ErrorReason().empty()) << "cut at " << size;
    }
}

// The built add-on, loaded as the program loads it, writes `image` as `type` through the
// roster and reads it back to the same pixels: its entry point, its format list and the
// stream plumbing of the base class all in one.
inline void ExpectAddOnRoundTrip(const char* name, uint32 type, const BBitmap& image) {
    const std::string path = std::string(ORVANE_BINARY_DIR) + "/translators/" + name + ".so";
    if (!std::filesystem::exists(path))
        GTEST_SKIP() << path << " not built";
    BTranslatorRoster roster;
    ASSERT_EQ(roster.LoadAddOn(path.c_str()), B_OK) << ErrorReason();

    std::unique_ptr<BBitmap> copy;
    ASSERT_EQ(
        NewImage(image.PixelWidth(), image.PixelHeight(), image.ColorSpace() == B_RGBA32, &copy),
        B_OK);
    std::memcpy(copy->Bits(), image.Bits(), size_t(image.BitsLength()));
    BBitmapStream source(copy.release());
    BMallocIO encoded;
    ASSERT_EQ(roster.Translate(&source, nullptr, nullptr, &encoded, type), B_OK) << ErrorReason();

    encoded.Seek(0, SEEK_FROM_START);
    BBitmapStream decoded;
    ASSERT_EQ(roster.Translate(&encoded, nullptr, nullptr, &decoded, B_TRANSLATOR_BITMAP), B_OK)
        << ErrorReason();
    BBitmap* back = nullptr;
    ASSERT_EQ(decoded.DetachBitmap(&back), B_OK);
    std::unique_ptr<BBitmap> owned(back);
    ExpectSamePixels(image, *owned);
}

}  // namespace orv::test
