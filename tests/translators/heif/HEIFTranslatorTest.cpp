// SPDX-License-Identifier: MIT
#include "translators/heif/HEIFTranslator.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/support/ErrorReason.h"
#include "tests/translators/common/CodecTestSupport.h"

// x265 3.5 keeps about a kilobyte per encoder it opens, inside its own allocator, however
// carefully the encoder is released; the sanitizer build must not count that against us.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:x265_malloc\n";
}

namespace orv {
namespace {

using namespace orv::test;

constexpr uint32 kHEIF = FourCC("HEIF");

heif_error Append(heif_context*, const void* data, size_t size, void* userData) {
    auto* file = static_cast<std::vector<uint8>*>(userData);
    file->insert(file->end(), static_cast<const uint8*>(data),
                 static_cast<const uint8*>(data) + size);
    return {heif_error_Ok, heif_suberror_Unspecified, ""};
}

// Files the translator cannot make itself, written with libheif directly: HEVC with
// irot/imir boxes for an EXIF orientation, or with 10-bit samples (`scale` stretches the
// 8-bit values of the bitmap to the wanted depth).
std::vector<uint8> WriteWithLibheif(const BBitmap& image, heif_orientation orientation, int depth) {
    const int width = int(image.PixelWidth());
    const int height = int(image.PixelHeight());
    heif_image* picture = nullptr;
    EXPECT_EQ(
        heif_image_create(
            width, height, heif_colorspace_RGB,
            depth == 8 ? heif_chroma_interleaved_RGB : heif_chroma_interleaved_RRGGBB_LE, &picture)
            .code,
        heif_error_Ok);
    EXPECT_EQ(heif_image_add_plane(picture, heif_channel_interleaved, width, height, depth).code,
              heif_error_Ok);
    int stride = 0;
    uint8* plane = heif_image_get_plane(picture, heif_channel_interleaved, &stride);
    const uint32 maximum = (1u << depth) - 1;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const uint32 p = PixelValue(image, uint32(x), uint32(y));
            const uint32 rgb[3] = {p >> 16 & 0xff, p >> 8 & 0xff, p & 0xff};
            for (int c = 0; c < 3; c++) {
                if (depth == 8) {
                    plane[y * stride + x * 3 + c] = uint8(rgb[c]);
                } else {
                    const uint16 value = uint16((rgb[c] * maximum + 127) / 255);
                    std::memcpy(plane + y * stride + (x * 3 + c) * 2, &value, 2);
                }
            }
        }
    }
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    EXPECT_EQ(heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code,
              heif_error_Ok);
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = orientation;
    EXPECT_EQ(heif_context_encode_image(context, picture, encoder, options, nullptr).code,
              heif_error_Ok);
    std::vector<uint8> file;
    heif_writer writer = {1, Append};
    EXPECT_EQ(heif_context_write(context, &writer, &file).code, heif_error_Ok);
    heif_encoding_options_free(options);
    heif_encoder_release(encoder);
    heif_context_free(context);
    heif_image_release(picture);
    return file;
}

class HEIFTranslatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HEIFTranslator::CanEncode()) {
            GTEST_SKIP() << "libheif has no HEVC encoder here";
        }
        ASSERT_EQ(translator.Settings().Set("orientation", 1), B_OK);
        ASSERT_EQ(translator.Settings().Set("quality", 80), B_OK);
    }

    HEIFTranslator translator;
};

TEST_F(HEIFTranslatorTest, LossyRoundTripKeepsThePictureAndItsAlpha) {
    // 4:2:0 blurs the sharp colour edges between the quadrants.
    ExpectLossyRoundTrip(translator, kHEIF, 25.0);
}

TEST_F(HEIFTranslatorTest, QualityChangesSizeAndFidelity) {
    ExpectQualityShows(translator, kHEIF, 10, 95);
}

TEST_F(HEIFTranslatorTest, OrientationIsAppliedOnlyWhenAsked) {
    auto source = TestPicture(48, 32, false);
    for (int orientation = 1; orientation <= 8; orientation++) {
        const auto file = WriteWithLibheif(*source, heif_orientation(orientation), 8);
        auto upright = DecodeOK(translator, file);
        ASSERT_NE(upright, nullptr);
        EXPECT_GT(PSNR(*Upright(*source, orientation), *upright), 25.0) << orientation;

        auto stored = DecodeAsStored(translator, file);
        ASSERT_NE(stored, nullptr);
        EXPECT_GT(PSNR(*source, *stored), 25.0) << orientation;
    }
}

TEST_F(HEIFTranslatorTest, TenBitsAreReducedToEight) {
    auto source = TestPicture(64, 48, false);
    auto decoded = DecodeOK(translator, WriteWithLibheif(*source, heif_orientation_normal, 10));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->ColorSpace(), B_RGB32);
    EXPECT_GT(PSNR(*source, *decoded), 25.0);
}

TEST_F(HEIFTranslatorTest, IdentifiesHEICButLeavesAVIFToItsOwnTranslator) {
    const auto heic = Encode(translator, *TestPicture(16, 16, false), kHEIF);
    const translation_format* format = nullptr;
    BMemoryIO heicStream(static_cast<const void*>(heic.data()), heic.size());
    ASSERT_EQ(translator.IdentifyImage(heicStream, &format), B_OK);
    EXPECT_EQ(format->type, kHEIF);

    const uint8 avif[] = {0, 0, 0,   28,  'f', 't', 'y', 'p', 'a', 'v', 'i', 'f', 0,   0,
                          0, 0, 'a', 'v', 'i', 'f', 'm', 'i', 'f', '1', 'm', 'i', 'a', 'f'};
    const uint8 mif1avif[] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'm', 'i', 'f', '1',
                              0, 0, 0, 0,  'm', 'i', 'f', '1', 'a', 'v', 'i', 'f'};
    for (auto [data, size] : {std::pair{avif, sizeof avif}, std::pair{mif1avif, sizeof mif1avif}}) {
        BMemoryIO stream(static_cast<const void*>(data), size);
        EXPECT_EQ(translator.IdentifyImage(stream, &format), B_NO_TRANSLATOR);
    }
}

TEST_F(HEIFTranslatorTest, DamagedFilesAreRefused) {
    ExpectTruncationsRefused(translator, Encode(translator, *TestPicture(40, 30, true), kHEIF));
}

TEST_F(HEIFTranslatorTest, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    auto file = Encode(translator, *TestPicture(16, 16, false), kHEIF);
    // Every item's size: the picture may be a grid of coded tiles.
    ASSERT_GT(SetDeclaredSides(&file, 60000), 0);
    ExpectRefused(translator, file);
}

// 539-byte files whose grid takes its one tile from an overlay item declaring a canvas of
// gigabytes: refused before libheif allocates it. In the first the grid is 24 × 16; the
// second, found by the fuzzer, states its grid 24 × 63247, which let libheif's side limit
// grow to 63247 and the canvas with it.
TEST_F(HEIFTranslatorTest, ImagesInsideThePictureAreBoundedByItsSize) {
    for (const char* name : {"overlay-canvas-bomb.heic", "overlay-canvas-tall-bomb.heic"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(ORVANE_SOURCE_DIR "/tests/translators/heif/data/") + name,
                         std::ios::binary);
        const std::vector<uint8> file((std::istreambuf_iterator<char>(in)), {});
        ASSERT_EQ(file.size(), 539u);
        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        std::unique_ptr<BBitmap> decoded;
        EXPECT_NE(Decode(translator, file, &decoded), B_OK);
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << "kilobytes";
    }
}

TEST(HEIFTranslatorRosterTest, ConvertsThroughTheRoster) {
    if (!HEIFTranslator::CanEncode()) {
        GTEST_SKIP();
    }
    ExpectRosterRoundTrip(new HEIFTranslator(), kHEIF, 25.0);
}

}  // namespace
}  // namespace orv
