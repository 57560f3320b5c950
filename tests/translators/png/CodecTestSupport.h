// SPDX-License-Identifier: MIT
// Helpers the codec tests share: files, test pictures, pixel comparisons and a stream that
// fails, so each suite keeps to what is particular to its format.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/support/DataIO.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/PixelRows.h"

namespace orv::test {

inline std::vector<uint8> ReadFile(const std::string& corpusPath) {
    std::ifstream in(std::string(ORVANE_CORPUS_DIR) + "/" + corpusPath, std::ios::binary);
    return std::vector<uint8>(std::istreambuf_iterator<char>(in), {});
}

// Translators read and save their settings under $XDG_CONFIG_HOME: each test process gets a
// fresh one, so the user's settings never leak in and tests start from the defaults.
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

inline status_t Decode(ImageTranslator& translator, const std::vector<uint8>& bytes,
                       std::unique_ptr<BBitmap>* image) {
    BMemoryIO source(bytes.data(), bytes.size());
    ClearErrorReason();
    return translator.DecodeImage(source, image);
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

// Gradients with sharp edges, like a photograph with text on it; with `alpha`, the alpha
// runs through every level.
inline std::unique_ptr<BBitmap> MakeTestImage(uint32 width, uint32 height, bool alpha) {
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(NewImage(width, height, alpha, &image), B_OK);
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            auto* p = const_cast<uint8*>(Pixel(*image, x, y));
            p[0] = uint8(x * 255 / (width - 1));
            p[1] = uint8(y * 255 / (height - 1));
            p[2] = ((x / 8 + y / 8) % 2) != 0 ? 220 : 30;
            p[3] = alpha ? uint8(x + y * width) : 255;
        }
    }
    return image;
}

// Peak signal-to-noise ratio of the colour bytes of two same-sized bitmaps, in dB.
inline double PSNR(const BBitmap& a, const BBitmap& b) {
    double sum = 0;
    for (uint32 y = 0; y < a.PixelHeight(); y++) {
        for (uint32 x = 0; x < a.PixelWidth(); x++) {
            for (int c = 0; c < 3; c++) {
                double d = double(Pixel(a, x, y)[c]) - double(Pixel(b, x, y)[c]);
                sum += d * d;
            }
        }
    }
    double mse = sum / (3.0 * a.PixelWidth() * a.PixelHeight());
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

// Cut at a few points, a file must be refused with a reason, and nothing handed out.
inline void ExpectTruncationsRefused(ImageTranslator& translator, const std::vector<uint8>& bytes) {
    for (double fraction : {0.0, 0.01, 0.1, 0.3, 0.5, 0.9, 0.99}) {
        std::vector<uint8> cut(bytes.begin(), bytes.begin() + ptrdiff_t(bytes.size() * fraction));
        std::unique_ptr<BBitmap> image;
        EXPECT_NE(Decode(translator, cut, &image), B_OK) << "cut at " << cut.size();
        EXPECT_EQ(image, nullptr);
        EXPECT_FALSE(ErrorReason().empty());
    }
}

// A destination whose writes fail past `budget` bytes, as a full disk does.
class FullDiskIO : public BPositionIO {
public:
    explicit FullDiskIO(size_t budget) : fBudget(budget) {}
    ssize_t ReadAt(off_t, void*, size_t) override { return B_NOT_ALLOWED; }
    ssize_t WriteAt(off_t position, const void*, size_t size) override {
        return size_t(position) + size > fBudget ? ssize_t(B_DEVICE_FULL) : ssize_t(size);
    }
    off_t Seek(off_t position, uint32 mode) override {
        return fPosition = (mode == SEEK_FROM_START ? position : fPosition + position);
    }
    off_t Position() const override { return fPosition; }

private:
    size_t fBudget;
    off_t fPosition = 0;
};

// Every write failure, down to the last byte, is an encoding failure with a reason.
inline void ExpectWriteFailureReported(ImageTranslator& translator, const BBitmap& image,
                                       uint32 type) {
    size_t size = Encode(translator, image, type).size();
    for (size_t budget : {size_t(0), size_t(100), size / 2, size - 1}) {
        FullDiskIO full(budget);
        ClearErrorReason();
        EXPECT_NE(translator.EncodeImage(image, type, full), B_OK) << "budget " << budget;
        EXPECT_FALSE(ErrorReason().empty());
    }
}

}  // namespace orv::test
