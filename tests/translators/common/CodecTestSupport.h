// SPDX-License-Identifier: MIT
// What the codec suites share: where the conformance corpus is, test pictures, a
// comparison with another decoder's PPM/PAM, a reference for the eight orientations written
// independently of the translators, pixel comparisons, encode/decode through memory
// streams, every frame of a file through a translator's reader and writer, the truncation
// sweep, a stream that fails like a full disk and round trips through a roster. Each suite
// keeps to what is particular to its format.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
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
#include "platform/support/PictureMemory.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/PictureIO.h"
#include "platform/translation/PixelRows.h"
#include "platform/translation/TranslatorRoster.h"
#include "tests/translators/common/Netpbm.h"

namespace orv::test {

// The public conformance suites (PngSuite, the JPEG test images, the WebP conformance
// files) are no part of the project: they are read from the folder $ORVANE_CORPUS_DIR
// names when the tests run. An empty string when it names none.
inline std::string CorpusDir() {
    const char* named = std::getenv("ORVANE_CORPUS_DIR");
    // A folder named on purpose: one without the files fails the tests.
    return named != nullptr ? named : "";
}

// The first line of a test that reads the conformance suites: skipped without them.
#define ORV_NEED_CORPUS()                                                                  \
    if (::orv::test::CorpusDir().empty()) {                                                \
        GTEST_SKIP() << "no conformance corpus: set ORVANE_CORPUS_DIR to the folder that " \
                        "holds pngsuite/, jpeg/ and webp/ to run this suite";              \
    }

inline std::string CorpusPath(const std::string& relative) {
    return CorpusDir() + "/" + relative;
}

// The bytes of a file, or none when there is no such file.
inline std::vector<uint8> ReadFileIfPresent(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8>(std::istreambuf_iterator<char>(in), {});
}

// A file the test needs: a missing one fails the test.
inline std::vector<uint8> ReadFile(const std::string& path) {
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    return ReadFileIfPresent(path);
}

inline std::vector<uint8> ReadCorpusFile(const std::string& relative) {
    return ReadFile(CorpusPath(relative));
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

// Leaves `count` buffers of `bytes` in the picture memory kept for the next pictures, every
// byte `fill`: they are all taken before any is given back, so they are distinct buffers.
inline void FillKeptPictureMemory(size_t bytes, int count, uint8 fill) {
    std::vector<void*> taken;
    for (int i = 0; i < count; i++) {
        void* bits = AllocateUnclearedPictureMemory(bytes);
        ASSERT_NE(bits, nullptr);
        std::memset(bits, fill, bytes);
        taken.push_back(bits);
    }
    for (void* bits : taken) {
        ReleasePictureMemory(bits, bytes);
    }
}

// Puts back the defaults a test changed: settings are saved, and later tests in the same
// process (the add-on's own instance included) would read them.
inline void RestoreDefaults(ImageTranslator& translator) {
    for (const SettingSchema& schema : translator.Settings().Schema()) {
        EXPECT_EQ(translator.Settings().Set(schema.name, schema.defaultValue), B_OK);
    }
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

// The picture with what the file says beside its pixels, and any damage met.
inline DecodedImage DecodeWhole(ImageTranslator& translator, const std::vector<uint8>& bytes) {
    BMemoryIO source(bytes.data(), bytes.size());
    DecodedImage decoded;
    ClearErrorReason();
    EXPECT_EQ(translator.DecodePicture(source, &decoded), B_OK) << ErrorReason();
    return decoded;
}

inline std::vector<uint8> Encode(ImageTranslator& translator, const BBitmap& image, uint32 type) {
    BMallocIO out;
    EXPECT_EQ(translator.EncodeImage(image, type, out), B_OK) << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

// Everything a reader gives for a file: what it says, each frame and its delay, the damage.
struct ReadPicture {
    status_t status = B_ERROR;
    PictureInfo info;
    std::vector<std::unique_ptr<BBitmap>> frames;
    std::vector<uint32> delays;
    std::string damage;
};

inline ReadPicture ReadAllFrames(ImageTranslator& translator, const std::vector<uint8>& bytes) {
    ReadPicture result;
    BMemoryIO source(bytes.data(), bytes.size());
    std::unique_ptr<PictureReader> reader;
    result.status = translator.OpenReader(source, &reader);
    if (result.status != B_OK) {
        return result;
    }
    result.info = reader->Info();
    for (uint32 i = 0; i < result.info.frameCount; i++) {
        std::unique_ptr<BBitmap> frame;
        FrameTiming timing;
        result.status = reader->ReadFrame(&frame, &timing);
        if (result.status != B_OK) {
            break;
        }
        result.frames.push_back(std::move(frame));
        result.delays.push_back(timing.delayMs);
    }
    result.damage = reader->Damage();
    return result;
}

// The same for a file that must read whole: a frame that fails fails the test.
inline ReadPicture ReadAllFramesOK(ImageTranslator& translator, const std::vector<uint8>& bytes) {
    ClearErrorReason();
    ReadPicture read = ReadAllFrames(translator, bytes);
    EXPECT_EQ(read.status, B_OK) << ErrorReason();
    return read;
}

// A file written through the translator's writer: `info` announces the frames, which come
// with the given delays.
inline std::vector<uint8> WriteAllFrames(ImageTranslator& translator, uint32 type,
                                         const PictureInfo& info,
                                         const std::vector<const BBitmap*>& frames,
                                         const std::vector<uint32>& delays = {}) {
    BMallocIO out;
    std::unique_ptr<PictureWriter> writer;
    EXPECT_EQ(translator.OpenWriter(type, out, &writer), B_OK) << ErrorReason();
    if (writer == nullptr) {
        return {};
    }
    EXPECT_EQ(writer->Begin(info), B_OK) << ErrorReason();
    for (size_t i = 0; i < frames.size(); i++) {
        EXPECT_EQ(writer->WriteFrame(*frames[i], {i < delays.size() ? delays[i] : 0}), B_OK)
            << ErrorReason();
    }
    EXPECT_EQ(writer->Finish(), B_OK) << ErrorReason();
    const auto* data = static_cast<const uint8*>(out.Buffer());
    return std::vector<uint8>(data, data + out.BufferLength());
}

// A pixel's blue, green, red and alpha bytes.
inline const uint8* Pixel(const BBitmap& image, uint32 x, uint32 y) {
    return static_cast<const uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow() + x * 4;
}

inline uint8* MutablePixel(BBitmap& image, uint32 x, uint32 y) {
    return static_cast<uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow() + x * 4;
}

// A pixel as one 0xAARRGGBB value, and back.
inline uint32 PixelValue(const BBitmap& image, uint32 x, uint32 y) {
    const uint8* p = Pixel(image, x, y);
    return uint32(p[0]) | uint32(p[1]) << 8 | uint32(p[2]) << 16 | uint32(p[3]) << 24;
}

inline void SetPixelValue(BBitmap& image, uint32 x, uint32 y, uint32 argb) {
    uint8* p = MutablePixel(image, x, y);
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

// Gradients in blue and green under a checkerboard of `square`-pixel squares in red and,
// with `alpha`, every alpha level. The light squares are flat (220); the dark ones are too
// (30) when `flatDark`, and otherwise change from pixel to pixel.
inline std::unique_ptr<BBitmap> MakeCheckeredImage(uint32 width, uint32 height, bool alpha,
                                                   uint32 square, bool flatDark) {
    auto image = NewBitmap(width, height, alpha);
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            uint8* p = MutablePixel(*image, x, y);
            p[0] = uint8(x * 255 / std::max(1u, width - 1));
            p[1] = uint8(y * 255 / std::max(1u, height - 1));
            const bool light = ((x / square + y / square) % 2) != 0;
            p[2] = light ? 220 : flatDark ? 30 : uint8(x * 7 + y * 3);
            p[3] = alpha ? uint8(x + y * width) : 255;
        }
    }
    return image;
}

// No two neighbouring rows or columns alike, so a swapped channel, a flipped row or a
// shifted column shows.
inline std::unique_ptr<BBitmap> MakeTestImage(uint32 width, uint32 height, bool alpha) {
    return MakeCheckeredImage(width, height, alpha, 4, false);
}

// Sharp edges in two flat colours over gradients, like a photograph with text on it: what
// the lossy and palette codecs are measured on.
inline std::unique_ptr<BBitmap> MakePhotoLikeImage(uint32 width, uint32 height, bool alpha) {
    return MakeCheckeredImage(width, height, alpha, 8, true);
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
            SetPixelValue(*image, x, y, a << 24 | (r & 0xff) << 16 | (g & 0xff) << 8 | (b & 0xff));
        }
    }
    return image;
}

// A smooth picture, as photographs mostly are, with alpha falling from top to bottom when
// asked (opaque on the first row, transparent on the last).
inline Samples SmoothPicture(uint32 width, uint32 height, bool alpha = false) {
    Samples picture = NewSamples(width, height, alpha ? 4 : 3);
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            picture.At(x, y, 0) = uint16(x * 255 / (width - 1));
            picture.At(x, y, 1) = uint16(y * 255 / (height - 1));
            picture.At(x, y, 2) = uint16(60 + (x + y) * 120 / (width + height));
            if (alpha) {
                picture.At(x, y, 3) = uint16(255 - y * 255 / (height - 1));
            }
        }
    }
    return picture;
}

// A 37 × 23 picture of `values` distinct pixels, for other encoders to write in every
// layout: rows end inside a byte at any depth and interlace passes are uneven. Pixel (x, y)
// shows value number (3x + 5y + xy) mod `values`; in grey the values are evenly spaced
// levels, exact at any depth, in colour they are scattered over every sample. Alpha, when
// `channels` has it, follows the value number too.
enum class PatternAlpha { kNone, kFirstValueTransparent, kEveryLevel };

inline Samples PatternPicture(uint32 channels, uint32 maxval, uint32 values, PatternAlpha alpha) {
    Samples picture = NewSamples(37, 23, channels, maxval);
    const uint32 colours = alpha == PatternAlpha::kNone ? channels : channels - 1;
    for (uint32 y = 0; y < picture.height; y++) {
        for (uint32 x = 0; x < picture.width; x++) {
            const uint32 v = (3 * x + 5 * y + x * y) % values;
            for (uint32 c = 0; c < colours; c++) {
                picture.At(x, y, c) =
                    uint16(colours == 1 ? v * maxval / (values - 1)
                                        : (v * 2654435761u >> (5 * c)) % (maxval + 1));
            }
            if (alpha == PatternAlpha::kFirstValueTransparent) {
                picture.At(x, y, colours) = uint16(v == 0 ? 0 : maxval);
            } else if (alpha == PatternAlpha::kEveryLevel) {
                picture.At(x, y, colours) = uint16(v * 40503u % (maxval + 1));
            }
        }
    }
    return picture;
}

// Noise-like pixels, so that a lossless round trip cannot pass by luck.
inline std::unique_ptr<BBitmap> NoisePicture(uint32 width, uint32 height, bool alpha) {
    auto image = NewBitmap(width, height, alpha);
    uint32 state = 12345;
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            state = state * 1103515245u + 12345u;
            const uint32 a = alpha ? (state >> 24) : 255;
            SetPixelValue(*image, x, y, a << 24 | (state >> 8 & 0xffffff));
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
            SetPixelValue(*result, x, y, PixelValue(source, sx, sy));
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
            for (int c = 0; c < channels; c++) {
                const double d = double(Pixel(a, x, y)[c]) - double(Pixel(b, x, y)[c]);
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
            if ((PixelValue(a, x, y) & mask) != (PixelValue(b, x, y) & mask)) {
                return false;
            }
        }
    }
    return true;
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
                if (std::abs(a - b) > tolerance && reported++ < 5) {
                    ADD_FAILURE() << "pixel " << x << "," << y << " channel " << c << ": " << a
                                  << " vs " << b;
                }
            }
        }
    }
}

// Compares a decoded picture with the PPM or PAM of another decoder.
// A PPM or PAM file as a bitmap.
inline std::unique_ptr<BBitmap> ReadNetpbm(const std::string& path) {
    return ToBitmap(ParseNetpbm(ReadFile(path), path));
}

inline void ExpectMatchesNetpbm(const BBitmap& image, const std::string& path) {
    ExpectPixelsMatch(ParseNetpbm(ReadFile(path), path), image);
}

// A file made from `source` decodes to its pixels, within `tolerance` levels, as B_RGBA32
// when the source has alpha and B_RGB32 when it has none.
inline void ExpectDecodesTo(ImageTranslator& translator, const std::vector<uint8>& bytes,
                            const Samples& source, int tolerance) {
    auto image = DecodeOK(translator, bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ColorSpace(), source.HasAlpha() ? B_RGBA32 : B_RGB32);
    ExpectPixelsMatch(source, *image, tolerance);
}

// Interleaved 8-bit samples of a bitmap: red, green, blue and, with `alpha`, alpha. Written
// pixel by pixel, apart from the codecs' row conversions.
inline std::vector<uint8> ToSamples(const BBitmap& image, bool alpha) {
    std::vector<uint8> samples;
    for (uint32 y = 0; y < image.PixelHeight(); y++) {
        for (uint32 x = 0; x < image.PixelWidth(); x++) {
            const uint32 p = PixelValue(image, x, y);
            samples.insert(samples.end(), {uint8(p >> 16), uint8(p >> 8), uint8(p)});
            if (alpha) {
                samples.push_back(uint8(p >> 24));
            }
        }
    }
    return samples;
}

// The reverse: a bitmap of interleaved samples, B_RGBA32 when they have alpha.
inline std::unique_ptr<BBitmap> FromSamples(const uint8* samples, uint32 width, uint32 height,
                                            bool alpha) {
    auto image = NewBitmap(width, height, alpha);
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++, samples += alpha ? 4 : 3) {
            const uint32 a = alpha ? samples[3] : 255;
            SetPixelValue(
                *image, x, y,
                a << 24 | uint32(samples[0]) << 16 | uint32(samples[1]) << 8 | samples[2]);
        }
    }
    return image;
}

// Decodes with the orientation setting off, so the picture comes out as stored, then turns
// the setting back on.
inline std::unique_ptr<BBitmap> DecodeAsStored(ImageTranslator& translator,
                                               const std::vector<uint8>& bytes) {
    EXPECT_EQ(translator.Settings().Set("orientation", 0), B_OK);
    auto image = DecodeOK(translator, bytes);
    EXPECT_EQ(translator.Settings().Set("orientation", 1), B_OK);
    return image;
}

// What a decoder does with a file it cannot read: it fails, hands back no picture and says
// why.
inline void ExpectRefused(ImageTranslator& translator, const std::vector<uint8>& bytes,
                          const std::string& what = {}) {
    std::unique_ptr<BBitmap> image;
    EXPECT_NE(Decode(translator, bytes, &image), B_OK) << what;
    EXPECT_EQ(image, nullptr) << what;
    EXPECT_FALSE(ErrorReason().empty()) << what;
}

// Gives every image of an AVIF or HEIF file (its "ispe" boxes) a side of `side` pixels;
// how many it changed.
inline int SetDeclaredSides(std::vector<uint8>* file, uint32 side) {
    const uint8 ispe[] = {'i', 's', 'p', 'e'};
    const uint8 bytes[4] = {uint8(side >> 24), uint8(side >> 16), uint8(side >> 8), uint8(side)};
    int changed = 0;
    for (auto box = std::search(file->begin(), file->end(), ispe, ispe + 4); box != file->end();
         box = std::search(box + 4, file->end(), ispe, ispe + 4)) {
        // After the box's type come its version and flags, then the width and the height.
        std::copy(bytes, bytes + 4, box + 8);
        std::copy(bytes, bytes + 4, box + 12);
        changed++;
    }
    return changed;
}

// Cut at many points, a file must be refused with a reason, never half-delivered. The last
// cut takes off only the final byte, unless `lastByteNeeded` says the format can spare it.
inline void ExpectTruncationsRefused(ImageTranslator& translator, const std::vector<uint8>& bytes,
                                     bool lastByteNeeded = true) {
    for (double fraction : {0.0, 0.01, 0.02, 0.1, 0.3, 0.5, 0.7, 0.8, 0.9, 0.95, 0.99, 1.0}) {
        if (fraction == 1.0 && !lastByteNeeded) {
            continue;
        }
        size_t size = std::min(size_t(double(bytes.size()) * fraction), bytes.size() - 1);
        std::vector<uint8> cut(bytes.begin(), bytes.begin() + ptrdiff_t(size));
        ExpectRefused(translator, cut, "cut at " + std::to_string(size));
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

// The way the program itself goes: a bitmap stream translated by the roster into `type`,
// and the file identified and translated back to a bitmap.
inline std::unique_ptr<BBitmap> RoundTripThrough(BTranslatorRoster& roster, const BBitmap& image,
                                                 uint32 type) {
    auto copy = NewBitmap(image.PixelWidth(), image.PixelHeight(), image.ColorSpace() == B_RGBA32);
    std::memcpy(copy->Bits(), image.Bits(), size_t(image.BitsLength()));
    BBitmapStream source(copy.release());
    BMallocIO file;
    EXPECT_EQ(roster.Translate(&source, nullptr, nullptr, &file, type), B_OK) << ErrorReason();
    file.Seek(0, SEEK_FROM_START);
    translator_info info{};
    EXPECT_EQ(roster.Identify(&file, nullptr, &info), B_OK);
    EXPECT_EQ(info.type, type);
    BBitmapStream decoded;
    EXPECT_EQ(roster.Translate(&file, nullptr, nullptr, &decoded, B_TRANSLATOR_BITMAP), B_OK)
        << ErrorReason();
    BBitmap* result = nullptr;
    decoded.DetachBitmap(&result);
    return std::unique_ptr<BBitmap>(result);
}

// A lossy translator of this process in a roster: a picture with alpha comes back with its
// alpha, above `minimumPSNR`.
inline void ExpectRosterRoundTrip(BTranslator* translator, uint32 type, double minimumPSNR) {
    BTranslatorRoster roster;
    ASSERT_EQ(roster.AddTranslator(translator), B_OK);
    auto source = TestPicture(40, 30, true);
    auto decoded = RoundTripThrough(roster, *source, type);
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->ColorSpace(), B_RGBA32);
    EXPECT_GT(PSNR(*source, *decoded), minimumPSNR);
}

// The built add-on, loaded as the program loads it, writes `image` as `type` through the
// roster and reads it back to the same pixels: its entry point, its format list and the
// stream plumbing of the base class all in one.
inline void ExpectAddOnRoundTrip(const char* name, uint32 type, const BBitmap& image) {
    const std::string path = std::string(ORVANE_BINARY_DIR) + "/translators/" + name + ".so";
    if (!std::filesystem::exists(path)) {
        GTEST_SKIP() << path << " not built";
    }
    BTranslatorRoster roster;
    ASSERT_EQ(roster.LoadAddOn(path.c_str()), B_OK) << ErrorReason();
    auto back = RoundTripThrough(roster, image, type);
    ASSERT_NE(back, nullptr);
    ExpectSamePixels(image, *back);
}

// A lossy round trip of TestPicture, opaque and with alpha: the colour space follows the
// alpha, the picture stays above `minimumPSNR`, and an opaque one comes back opaque.
inline void ExpectLossyRoundTrip(ImageTranslator& translator, uint32 type, double minimumPSNR) {
    for (bool alpha : {false, true}) {
        SCOPED_TRACE(alpha ? "alpha" : "opaque");
        auto source = TestPicture(67, 45, alpha);  // odd sides reach the chroma planes' edges
        auto decoded = DecodeOK(translator, Encode(translator, *source, type));
        ASSERT_NE(decoded, nullptr);
        EXPECT_EQ(decoded->ColorSpace(), alpha ? B_RGBA32 : B_RGB32);
        EXPECT_GT(PSNR(*source, *decoded), minimumPSNR);
        if (!alpha) {
            EXPECT_EQ(PixelValue(*decoded, 66, 44) >> 24, 255u);
        }
    }
}

// With the lossless setting on, noise comes back bit for bit, opaque and with alpha.
inline void ExpectLosslessRoundTrip(ImageTranslator& translator, uint32 type) {
    ASSERT_EQ(translator.Settings().Set("lossless", 1), B_OK);
    for (bool alpha : {false, true}) {
        auto source = NoisePicture(23, 17, alpha);
        auto decoded = DecodeOK(translator, Encode(translator, *source, type));
        ASSERT_NE(decoded, nullptr);
        EXPECT_TRUE(SamePixels(*source, *decoded)) << (alpha ? "alpha" : "opaque");
    }
    ASSERT_EQ(translator.Settings().Set("lossless", 0), B_OK);
}

// The quality setting shows: at `low` the file is smaller and the picture poorer, by 3 dB
// at least, than at `high`.
inline void ExpectQualityShows(ImageTranslator& translator, uint32 type, int32 low, int32 high) {
    auto source = TestPicture(128, 96, false);
    ASSERT_EQ(translator.Settings().Set("quality", low), B_OK);
    const auto lowFile = Encode(translator, *source, type);
    ASSERT_EQ(translator.Settings().Set("quality", high), B_OK);
    const auto highFile = Encode(translator, *source, type);
    EXPECT_LT(lowFile.size(), highFile.size());
    EXPECT_GT(PSNR(*source, *DecodeOK(translator, highFile)),
              PSNR(*source, *DecodeOK(translator, lowFile)) + 3.0);
}

}  // namespace orv::test
