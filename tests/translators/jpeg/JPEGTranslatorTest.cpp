// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include <algorithm>

#include "tests/translators/png/CodecTestSupport.h"
#include "translators/jpeg/JPEGTranslator.h"

namespace orv::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FreshConfigEnvironment);
constexpr uint32 kJPEG = FourCC("JPEG");

// The binary PPM the reference decoder wrote: "P6 width height 255" then RGB bytes.
struct Ppm {
    uint32 width = 0;
    uint32 height = 0;
    std::vector<uint8> rgb;
};

Ppm ReadPpm(const std::string& path) {
    std::vector<uint8> bytes = ReadFile(path);
    Ppm ppm;
    unsigned maxval = 0;
    int consumed = 0;
    std::string header(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 64));
    if (std::sscanf(header.c_str(), "P6 %u %u %u%n", &ppm.width, &ppm.height, &maxval, &consumed) ==
        3) {
        size_t start = size_t(consumed) + 1;
        ppm.rgb.assign(bytes.begin() + ptrdiff_t(start), bytes.end());
    }
    return ppm;
}

// Largest difference between a bitmap and a PPM, and the PSNR of the colour bytes.
std::pair<int, double> Compare(const BBitmap& image, const Ppm& ppm) {
    int worst = 0;
    double sum = 0;
    for (uint32 y = 0; y < ppm.height; y++) {
        for (uint32 x = 0; x < ppm.width; x++) {
            const uint8* p = Pixel(image, x, y);
            const uint8* r = &ppm.rgb[(size_t(y) * ppm.width + x) * 3];
            for (int c = 0; c < 3; c++) {
                int d = std::abs(int(p[2 - c]) - int(r[c]));
                worst = std::max(worst, d);
                sum += double(d) * d;
            }
        }
    }
    double mse = sum / (3.0 * ppm.width * ppm.height);
    return {worst, mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse)};
}

// Writes a small JPEG with libjpeg itself, in colour spaces our encoder never writes.
std::vector<uint8> WriteWithLibjpeg(J_COLOR_SPACE in, J_COLOR_SPACE stored, int components,
                                    uint32 width, uint32 height, const std::vector<uint8>& pixels) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width;
    info.image_height = height;
    info.input_components = components;
    info.in_color_space = in;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    jpeg_set_quality(&info, 100, TRUE);
    for (int c = 0; c < info.num_components; c++) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < height) {
        JSAMPROW row = const_cast<uint8*>(&pixels[size_t(info.next_scanline) * width * components]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8> out(buffer, buffer + size);
    free(buffer);
    return out;
}

size_t FindMarker(const std::vector<uint8>& jpeg, uint8 marker) {
    for (size_t i = 2; i + 1 < jpeg.size(); i++) {
        if (jpeg[i] == 0xff && jpeg[i + 1] == marker) {
            return i;
        }
    }
    return 0;
}

TEST(JPEGTranslator, ReferenceImagesDecode) {
    JPEGTranslator translator;
    Ppm reference = ReadPpm(CorpusPath("jpeg/testorig.ppm"));
    ASSERT_EQ(reference.rgb.size(), size_t(reference.width) * reference.height * 3);

    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, ReadFile(CorpusPath("jpeg/testorig.jpg")), &image), B_OK)
        << ErrorReason();
    EXPECT_EQ(image->ColorSpace(), B_RGB32);
    ASSERT_EQ(image->PixelWidth(), reference.width);
    ASSERT_EQ(image->PixelHeight(), reference.height);
    // The reference came from a decoder whose chroma upsampling is not libjpeg-turbo's
    // (a scaled IDCT): the two agree within one level on most samples and within three on all.
    ASSERT_EQ(image->PixelWidth(), reference.width);
    int withinOne = 0;
    for (uint32 y = 0; y < reference.height; y++) {
        for (uint32 x = 0; x < reference.width; x++) {
            for (int c = 0; c < 3; c++) {
                int d = std::abs(int(Pixel(*image, x, y)[2 - c]) -
                                 int(reference.rgb[(size_t(y) * reference.width + x) * 3 + c]));
                withinOne += d <= 1;
            }
        }
    }
    EXPECT_GT(withinOne, int(reference.rgb.size() * 96 / 100));
    EXPECT_LE(Compare(*image, reference).first, 3);

    // The same picture, progressive and arithmetic-coded, differs only by its own encoding.
    for (const char* name : {"jpeg/testimgint.jpg", "jpeg/testimgari.jpg"}) {
        SCOPED_TRACE(name);
        std::unique_ptr<BBitmap> other;
        ASSERT_EQ(Decode(translator, ReadFile(CorpusPath(name)), &other), B_OK) << ErrorReason();
        ASSERT_EQ(other->PixelWidth(), reference.width);
        EXPECT_GT(Compare(*other, reference).second, 30.0);
        const uint8* alpha = Pixel(*other, 5, 5) + 3;
        EXPECT_EQ(*alpha, 255);
    }
}

TEST(JPEGTranslator, TwelveBitFileIsRefusedWithAClearReason) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image;
    EXPECT_NE(Decode(translator, ReadFile(CorpusPath("jpeg/monkey12.jpg")), &image), B_OK);
    EXPECT_EQ(image, nullptr);
    EXPECT_NE(ErrorReason().find("12 bits"), std::string::npos) << ErrorReason();
}

TEST(JPEGTranslator, GreyAndCMYKBecomeRGB) {
    JPEGTranslator translator;
    constexpr uint32 kSide = 16;
    std::vector<uint8> grey(kSide * kSide, 77);
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator,
                     WriteWithLibjpeg(JCS_GRAYSCALE, JCS_GRAYSCALE, 1, kSide, kSide, grey), &image),
              B_OK);
    const uint8* p = Pixel(*image, 3, 3);
    EXPECT_EQ(p[0], 77);
    EXPECT_EQ(p[1], 77);
    EXPECT_EQ(p[2], 77);
    EXPECT_EQ(p[3], 255);

    // Ink stored the Adobe way, inverted: 255 is no ink. 50 % cyan and 20 % black.
    std::vector<uint8> cmyk;
    for (uint32 i = 0; i < kSide * kSide; i++) {
        cmyk.insert(cmyk.end(), {uint8(255 - 128), 255, 255, uint8(255 - 51)});
    }
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        SCOPED_TRACE(stored == JCS_CMYK ? "CMYK" : "YCCK");
        ASSERT_EQ(
            Decode(translator, WriteWithLibjpeg(JCS_CMYK, stored, 4, kSide, kSide, cmyk), &image),
            B_OK)
            << ErrorReason();
        EXPECT_EQ(image->ColorSpace(), B_RGB32);
        p = Pixel(*image, 8, 8);
        // red = (1 - 0.5) × (1 - 0.2) = 0.4; green and blue = 0.8
        EXPECT_NEAR(p[2], 102, 2);
        EXPECT_NEAR(p[1], 204, 2);
        EXPECT_NEAR(p[0], 204, 2);
    }
}

// An APP1 Exif segment right after SOI saying "turn 90° clockwise" (orientation 6).
std::vector<uint8> WithExifOrientation6(const std::vector<uint8>& jpeg) {
    const uint8 segment[] = {0xff, 0xe1, 0, 34, 'E', 'x', 'i', 'f', 0,    0,    'I', 'I',
                             42,   0,    8, 0,  0,   0,   1,   0,   0x12, 0x01, 3,   0,
                             1,    0,    0, 0,  6,   0,   0,   0,   0,    0,    0,   0};
    std::vector<uint8> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), std::begin(segment), std::end(segment));
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

TEST(JPEGTranslator, ExifOrientationIsAppliedUnlessTurnedOff) {
    JPEGTranslator translator;
    // Two flat halves, so that the turn is visible despite the compression.
    std::unique_ptr<BBitmap> original;
    ASSERT_EQ(NewImage(64, 32, false, &original), B_OK);
    for (uint32 y = 0; y < 32; y++) {
        for (uint32 x = 0; x < 64; x++) {
            auto* q = const_cast<uint8*>(Pixel(*original, x, y));
            q[0] = q[1] = q[2] = x < 32 ? 0 : 255;
        }
    }
    std::vector<uint8> jpeg = WithExifOrientation6(Encode(translator, *original, kJPEG));
    std::unique_ptr<BBitmap> upright;
    ASSERT_EQ(Decode(translator, jpeg, &upright), B_OK) << ErrorReason();
    ASSERT_EQ(upright->PixelWidth(), 32u);
    ASSERT_EQ(upright->PixelHeight(), 64u);
    EXPECT_LT(Pixel(*upright, 16, 8)[1], 20);  // the dark half is now on top
    EXPECT_GT(Pixel(*upright, 16, 56)[1], 235);

    ASSERT_EQ(translator.Settings().Set("orientation", 0), B_OK);
    std::unique_ptr<BBitmap> stored;
    ASSERT_EQ(Decode(translator, jpeg, &stored), B_OK);
    EXPECT_EQ(stored->PixelWidth(), 64u);
    ASSERT_EQ(translator.Settings().Set("orientation", 1), B_OK);
}

TEST(JPEGTranslator, SettingsShapeTheOutput) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, ReadFile(CorpusPath("jpeg/testorig.jpg")), &image), B_OK);
    std::vector<uint8> normal = Encode(translator, *image, kJPEG);
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, normal, &decoded), B_OK);
    EXPECT_GT(PSNR(*image, *decoded), 35.0);
    // Quality 90, 4:2:0: luma sampled 2×2 in the frame header.
    size_t sof = FindMarker(normal, 0xc0);
    ASSERT_NE(sof, 0u);
    EXPECT_EQ(normal[sof + 11], 0x22);

    ASSERT_EQ(translator.Settings().Set("quality", 40), B_OK);
    EXPECT_LT(Encode(translator, *image, kJPEG).size(), normal.size());
    ASSERT_EQ(translator.Settings().Set("quality", 90), B_OK);

    ASSERT_EQ(translator.Settings().Set("subsampling", 2), B_OK);
    std::vector<uint8> full = Encode(translator, *image, kJPEG);
    EXPECT_EQ(full[FindMarker(full, 0xc0) + 11], 0x11);
    ASSERT_EQ(translator.Settings().Set("subsampling", 0), B_OK);

    ASSERT_EQ(translator.Settings().Set("optimize", 0), B_OK);
    EXPECT_GT(Encode(translator, *image, kJPEG).size(), normal.size());
    ASSERT_EQ(translator.Settings().Set("optimize", 1), B_OK);

    ASSERT_EQ(translator.Settings().Set("progressive", 1), B_OK);
    std::vector<uint8> progressive = Encode(translator, *image, kJPEG);
    EXPECT_NE(FindMarker(progressive, 0xc2), 0u);
    ASSERT_EQ(Decode(translator, progressive, &decoded), B_OK);
    EXPECT_GT(PSNR(*image, *decoded), 35.0);
    ASSERT_EQ(translator.Settings().Set("progressive", 0), B_OK);
}

TEST(JPEGTranslator, TransparencyIsFlattenedOnWhiteUnlessTurnedOff) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(NewImage(32, 32, true, &image), B_OK);
    // Black everywhere, fully transparent: white when flattened, black when not.
    for (int32 i = 0; i < image->BitsLength(); i += 4) {
        static_cast<uint8*>(image->Bits())[i + 3] = 0;
    }
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, Encode(translator, *image, kJPEG), &decoded), B_OK);
    EXPECT_GE(Pixel(*decoded, 10, 10)[0], 254);
    ASSERT_EQ(translator.Settings().Set("flatten_alpha", 0), B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *image, kJPEG), &decoded), B_OK);
    EXPECT_LE(Pixel(*decoded, 10, 10)[0], 1);
    ASSERT_EQ(translator.Settings().Set("flatten_alpha", 1), B_OK);
}

TEST(JPEGTranslator, HostileFilesAreRefused) {
    JPEGTranslator translator;
    std::vector<uint8> jpeg = ReadFile(CorpusPath("jpeg/testorig.jpg"));
    ExpectTruncationsRefused(translator, jpeg);
    // Cut in the progressive scans too: a coarse early scan must not pass for the picture.
    ExpectTruncationsRefused(translator, ReadFile(CorpusPath("jpeg/testimgint.jpg")));

    // A frame header claiming 60000 × 60000 is refused before anything is allocated.
    size_t sof = FindMarker(jpeg, 0xc0);
    ASSERT_NE(sof, 0u);
    std::vector<uint8> bomb = jpeg;
    bomb[sof + 5] = bomb[sof + 7] = 60000 >> 8;
    bomb[sof + 6] = bomb[sof + 8] = 60000 & 0xff;
    std::unique_ptr<BBitmap> image;
    EXPECT_NE(Decode(translator, bomb, &image), B_OK);
    EXPECT_EQ(image, nullptr);
    EXPECT_FALSE(ErrorReason().empty());

    // Damaged entropy data in the middle of the scan.
    std::vector<uint8> damaged = jpeg;
    size_t sos = FindMarker(jpeg, 0xda);
    for (size_t i = sos + 200; i < sos + 400; i++) {
        damaged[i] = damaged[i] == 0xff ? 0xfe : uint8(damaged[i] ^ 0x5a);
    }
    EXPECT_NE(Decode(translator, damaged, &image), B_OK);
}

TEST(JPEGTranslator, FailedWritesAreReported) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image = MakeTestImage(300, 200, false);
    ExpectWriteFailureReported(translator, *image, kJPEG);
}

}  // namespace
}  // namespace orv::test
