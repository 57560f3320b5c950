// SPDX-License-Identifier: MIT
#include "translators/avif/AVIFTranslator.h"

#include <avif/avif.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/support/ErrorReason.h"
#include "tests/translators/common/CodecTestSupport.h"

namespace orv {
namespace {

using namespace orv::test;

constexpr uint32 kAVIF = FourCC("AVIF");

struct ImageFree {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};
using AvifImagePtr = std::unique_ptr<avifImage, ImageFree>;

// Files the translator cannot make itself, written with libavif directly.
std::vector<uint8> WriteWithLibavif(const std::vector<const avifImage*>& frames, int quantizer) {
    avifEncoder* encoder = avifEncoderCreate();
    encoder->speed = 10;
    encoder->minQuantizer = encoder->maxQuantizer = quantizer;
    encoder->minQuantizerAlpha = encoder->maxQuantizerAlpha = quantizer;
    const avifAddImageFlags flags =
        frames.size() == 1 ? AVIF_ADD_IMAGE_FLAG_SINGLE : AVIF_ADD_IMAGE_FLAG_NONE;
    for (const avifImage* frame : frames) {
        EXPECT_EQ(avifEncoderAddImage(encoder, frame, 1, flags), AVIF_RESULT_OK);
    }
    avifRWData output = AVIF_DATA_EMPTY;
    EXPECT_EQ(avifEncoderFinish(encoder, &output), AVIF_RESULT_OK);
    std::vector<uint8> file(output.data, output.data + output.size);
    avifRWDataFree(&output);
    avifEncoderDestroy(encoder);
    return file;
}

// An 8-bit 4:4:4 libavif picture holding the bitmap's pixels.
AvifImagePtr FromBitmap(const BBitmap& bitmap) {
    AvifImagePtr image(
        avifImageCreate(bitmap.PixelWidth(), bitmap.PixelHeight(), 8, AVIF_PIXEL_FORMAT_YUV444));
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, image.get());
    rgb.format = AVIF_RGB_FORMAT_BGRA;
    rgb.pixels = static_cast<uint8*>(const_cast<void*>(bitmap.Bits()));
    rgb.rowBytes = uint32(bitmap.BytesPerRow());
    rgb.ignoreAlpha = bitmap.ColorSpace() != B_RGBA32;
    EXPECT_EQ(avifImageRGBToYUV(image.get(), &rgb), AVIF_RESULT_OK);
    return image;
}

class AVIFTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(translator.Settings().Set("orientation", 1), B_OK);
        ASSERT_EQ(translator.Settings().Set("lossless", 0), B_OK);
        ASSERT_EQ(translator.Settings().Set("quality", 80), B_OK);
        ASSERT_EQ(translator.Settings().Set("speed", 10), B_OK);
        ASSERT_EQ(translator.Settings().Set("subsampling", 420), B_OK);
    }

    AVIFTranslator translator;
};

TEST_F(AVIFTranslatorTest, LossyRoundTripKeepsThePictureAndItsAlpha) {
    if (!AVIFTranslator::CanEncode()) {
        GTEST_SKIP() << "libavif has no AV1 encoder here";
    }
    // 4:2:0 blurs the sharp colour edges between the quadrants; 25 dB is far above what a
    // wrong channel order or a shifted row would give.
    ExpectLossyRoundTrip(translator, kAVIF, 25.0);
}

TEST_F(AVIFTranslatorTest, LosslessSettingIsBitExact) {
    if (!AVIFTranslator::CanEncode()) {
        GTEST_SKIP();
    }
    ExpectLosslessRoundTrip(translator, kAVIF);
}

TEST_F(AVIFTranslatorTest, QualityAndSubsamplingChangeTheFile) {
    if (!AVIFTranslator::CanEncode()) {
        GTEST_SKIP();
    }
    ASSERT_EQ(translator.Settings().Set("subsampling", 444), B_OK);
    ExpectQualityShows(translator, kAVIF, 20, 95);
    // Full chroma at quality 95 is close to the source; 4:2:0 cannot be, at any quality.
    auto source = TestPicture(128, 96, false);
    EXPECT_GT(PSNR(*source, *DecodeOK(translator, Encode(translator, *source, kAVIF))), 45.0);
    ASSERT_EQ(translator.Settings().Set("subsampling", 420), B_OK);
    EXPECT_LT(PSNR(*source, *DecodeOK(translator, Encode(translator, *source, kAVIF))), 40.0);
}

// irot turns anticlockwise by quarter turns, then imir mirrors: the expected pictures are
// built from those two steps, not from the EXIF numbers the translator maps them to.
TEST_F(AVIFTranslatorTest, RotationAndMirrorBoxesAreApplied) {
    auto source = TestPicture(48, 32, false);
    for (int angle = 0; angle < 4; angle++) {
        for (int mirror = -1; mirror <= 1; mirror++) {
            AvifImagePtr image = FromBitmap(*source);
            image->transformFlags = AVIF_TRANSFORM_IROT;
            image->irot.angle = uint8(angle);
            if (mirror >= 0) {
                image->transformFlags |= AVIF_TRANSFORM_IMIR;
                image->imir.mode = uint8(mirror);
            }
            const auto file = WriteWithLibavif({image.get()}, 10);

            auto expected = Upright(*source, 1);
            for (int turn = 0; turn < angle; turn++) {
                expected = Upright(*expected, 8);
            }
            if (mirror >= 0) {
                expected = Upright(*expected, mirror == 0 ? 4 : 2);
            }
            auto decoded = DecodeOK(translator, file);
            ASSERT_NE(decoded, nullptr);
            EXPECT_GT(PSNR(*expected, *decoded), 35.0) << "angle " << angle << " mirror " << mirror;

            auto stored = DecodeAsStored(translator, file);
            ASSERT_NE(stored, nullptr);
            EXPECT_GT(PSNR(*source, *stored), 35.0);
        }
    }
}

// The clean aperture crops the coded picture first; the rotation then turns what is left.
TEST_F(AVIFTranslatorTest, CleanApertureCropsBeforeTurning) {
    auto source = TestPicture(48, 32, false);
    AvifImagePtr image = FromBitmap(*source);
    const avifCropRect rect = {8, 4, 30, 20};
    avifDiagnostics diagnostics;
    ASSERT_TRUE(avifCleanApertureBoxConvertCropRect(&image->clap, &rect, 48, 32,
                                                    AVIF_PIXEL_FORMAT_YUV444, &diagnostics));
    image->transformFlags = AVIF_TRANSFORM_CLAP | AVIF_TRANSFORM_IROT;
    image->irot.angle = 1;

    auto cropped = NewBitmap(30, 20, false);
    for (uint32 y = 0; y < 20; y++) {
        for (uint32 x = 0; x < 30; x++) {
            SetPixelValue(*cropped, x, y, PixelValue(*source, x + 8, y + 4));
        }
    }
    auto decoded = DecodeOK(translator, WriteWithLibavif({image.get()}, 10));
    ASSERT_NE(decoded, nullptr);
    EXPECT_GT(PSNR(*Upright(*cropped, 8), *decoded), 35.0);
}

TEST_F(AVIFTranslatorTest, HighBitDepthIsRoundedToEightBits) {
    for (uint32 depth : {10u, 12u}) {
        const uint32 maximum = (1u << depth) - 1;
        AvifImagePtr image(avifImageCreate(64, 4, depth, AVIF_PIXEL_FORMAT_YUV444));
        image->matrixCoefficients = AVIF_MATRIX_COEFFICIENTS_IDENTITY;
        avifRGBImage rgb;
        avifRGBImageSetDefaults(&rgb, image.get());
        rgb.format = AVIF_RGB_FORMAT_RGB;
        avifRGBImageAllocatePixels(&rgb);
        for (uint32 y = 0; y < 4; y++) {
            auto* row = reinterpret_cast<uint16*>(rgb.pixels + y * rgb.rowBytes);
            for (uint32 x = 0; x < 64; x++) {
                row[x * 3 + 0] = uint16(x * maximum / 63);
                row[x * 3 + 1] = uint16(maximum - x * maximum / 63);
                row[x * 3 + 2] = uint16((x * 37 + y * 101) % (maximum + 1));
            }
        }
        ASSERT_EQ(avifImageRGBToYUV(image.get(), &rgb), AVIF_RESULT_OK);
        const auto file = WriteWithLibavif({image.get()}, AVIF_QUANTIZER_LOSSLESS);

        auto decoded = DecodeOK(translator, file);
        ASSERT_NE(decoded, nullptr);
        for (uint32 y = 0; y < 4; y++) {
            const auto* row = reinterpret_cast<const uint16*>(rgb.pixels + y * rgb.rowBytes);
            for (uint32 x = 0; x < 64; x++) {
                const uint32 p = PixelValue(*decoded, x, y);
                const int channels[3] = {int(p >> 16 & 0xff), int(p >> 8 & 0xff), int(p & 0xff)};
                for (int c = 0; c < 3; c++) {
                    const int expected = int((row[x * 3 + c] * 255u + maximum / 2) / maximum);
                    EXPECT_NEAR(channels[c], expected, 1) << depth << " bits, x " << x;
                }
            }
        }
        avifRGBImageFreePixels(&rgb);
    }
}

TEST_F(AVIFTranslatorTest, SequenceIsReadAsItsFirstFrame) {
    auto red = NewBitmap(16, 16, false);
    auto blue = NewBitmap(16, 16, false);
    for (uint32 y = 0; y < 16; y++) {
        for (uint32 x = 0; x < 16; x++) {
            SetPixelValue(*red, x, y, 0xffd01010);
            SetPixelValue(*blue, x, y, 0xff1010d0);
        }
    }
    AvifImagePtr first = FromBitmap(*red);
    AvifImagePtr second = FromBitmap(*blue);
    auto decoded = DecodeOK(translator, WriteWithLibavif({first.get(), second.get()}, 10));
    ASSERT_NE(decoded, nullptr);
    EXPECT_GT(PSNR(*red, *decoded), 30.0);
}

TEST_F(AVIFTranslatorTest, IdentifiesOnlyAVIF) {
    auto source = TestPicture(16, 16, false);
    AvifImagePtr image = FromBitmap(*source);
    const auto file = WriteWithLibavif({image.get()}, 20);
    const translation_format* format = nullptr;
    BMemoryIO avif(static_cast<const void*>(file.data()), file.size());
    ASSERT_EQ(translator.IdentifyImage(avif, &format), B_OK);
    EXPECT_EQ(format->type, kAVIF);

    const uint8 heic[] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c',
                          0, 0, 0, 0,  'm', 'i', 'f', '1', 'h', 'e', 'i', 'c'};
    const uint8 png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H'};
    for (auto [data, size] : {std::pair{heic, sizeof heic}, std::pair{png, sizeof png}}) {
        BMemoryIO other(static_cast<const void*>(data), size);
        EXPECT_EQ(translator.IdentifyImage(other, &format), B_NO_TRANSLATOR);
    }
}

TEST_F(AVIFTranslatorTest, DamagedFilesAreRefused) {
    auto source = TestPicture(40, 30, true);
    AvifImagePtr image = FromBitmap(*source);
    const auto file = WriteWithLibavif({image.get()}, 20);
    ExpectTruncationsRefused(translator, file);
}

TEST_F(AVIFTranslatorTest, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    auto source = TestPicture(16, 16, false);
    AvifImagePtr image = FromBitmap(*source);
    auto file = WriteWithLibavif({image.get()}, 20);
    ASSERT_GT(SetDeclaredSides(&file, 60000), 0);
    ExpectRefused(translator, file);
}

TEST(AVIFTranslatorRosterTest, ConvertsThroughTheRoster) {
    if (!AVIFTranslator::CanEncode()) {
        GTEST_SKIP();
    }
    ExpectRosterRoundTrip(new AVIFTranslator(), kAVIF, 25.0);
}

}  // namespace
}  // namespace orv
