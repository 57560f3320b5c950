// SPDX-License-Identifier: MIT
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include <algorithm>

#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ForeignFiles.h"
#include "translators/jpeg/JPEGTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kJPEG = FourCC("JPEG");

// Largest difference from the reference decoder's PPM (P6, RGB bytes), and how many samples
// are within one level of it.
struct Agreement {
    int worst = 0;
    double withinOne = 0;
};

Agreement CompareWithPpm(const BBitmap& image, const std::vector<uint8>& ppm) {
    unsigned width = 0, height = 0, maxval = 0;
    int header = 0;
    std::string text(ppm.begin(), ppm.begin() + std::min<ptrdiff_t>(32, ssize(ppm)));
    Agreement agreement;
    EXPECT_EQ(std::sscanf(text.c_str(), "P6 %u %u %u%n", &width, &height, &maxval, &header), 3);
    if (image.PixelWidth() != width || image.PixelHeight() != height ||
        ppm.size() < size_t(header) + 1 + size_t(width) * height * 3) {
        ADD_FAILURE() << "the reference is not a PPM of " << image.PixelWidth() << " x "
                      << image.PixelHeight();
        return {255, 0};
    }
    for (size_t i = 0; i < size_t(width) * height * 3; i++) {
        int sample = Pixel(image, uint32(i / 3 % width), uint32(i / 3 / width))[2 - i % 3];
        int d = std::abs(sample - ppm[size_t(header) + 1 + i]);
        agreement.worst = std::max(agreement.worst, d);
        agreement.withinOne += d <= 1 ? 1.0 / (double(width) * height * 3) : 0;
    }
    return agreement;
}

// A small JPEG written by libjpeg itself, in colour spaces our encoder never writes.
std::vector<uint8> WriteWithLibjpeg(J_COLOR_SPACE in, J_COLOR_SPACE stored, int components,
                                    const std::vector<uint8>& pixels) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = info.image_height = 16;
    info.input_components = components;
    info.in_color_space = in;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < 16) {
        JSAMPROW row = const_cast<uint8*>(&pixels[info.next_scanline * 16 * components]);
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
    ORV_NEED_CORPUS();
    JPEGTranslator translator;
    std::vector<uint8> ppm = ReadCorpusFile("jpeg/testorig.ppm");
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator, ReadCorpusFile("jpeg/testorig.jpg"), &image), B_OK)
        << ErrorReason();
    EXPECT_EQ(image->ColorSpace(), B_RGB32);
    // The reference was made by a decoder that upsamples chroma with a scaled IDCT, which
    // libjpeg-turbo does not: the two agree within one level on 96.8 % of the samples.
    Agreement agreement = CompareWithPpm(*image, ppm);
    EXPECT_LE(agreement.worst, 3);
    EXPECT_GT(agreement.withinOne, 0.96);

    // The same picture, progressive and arithmetic-coded, differs only by its own encoding.
    for (const char* name : {"jpeg/testimgint.jpg", "jpeg/testimgari.jpg"}) {
        ASSERT_EQ(Decode(translator, ReadCorpusFile(name), &image), B_OK) << name << ErrorReason();
        EXPECT_GT(CompareWithPpm(*image, ppm).withinOne, 0.5) << name;
        EXPECT_EQ(Pixel(*image, 5, 5)[3], 255);
    }

    EXPECT_NE(Decode(translator, ReadCorpusFile("jpeg/monkey12.jpg"), &image), B_OK);
    EXPECT_NE(ErrorReason().find("12 bits"), std::string::npos) << ErrorReason();
}

TEST(JPEGTranslator, FilesOfOtherEncodersDecodeAsTheirDecodersSee) {
    ORV_NEED_PROGRAMS("cjpeg", "djpeg", "convert");
    struct Case {
        const char* name;
        std::vector<std::string> make;       // writes made.jpg from source.pnm
        std::vector<std::string> reference;  // decodes made.jpg into reference.pnm
        int tolerance;
    };
    const std::vector<std::string> djpeg = {"djpeg", "-outfile", "reference.pnm", "made.jpg"};
    const std::vector<Case> cases = {
        {"baseline, 4:2:0", {"cjpeg", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        {"4:4:4 at quality 100",
         {"cjpeg", "-quality", "100", "-sample", "1x1", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"4:2:2", {"cjpeg", "-sample", "2x1", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        {"progressive", {"cjpeg", "-progressive", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        {"arithmetic coding",
         {"cjpeg", "-arithmetic", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"progressive with arithmetic coding",
         {"cjpeg", "-progressive", "-arithmetic", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"a restart marker every row",
         {"cjpeg", "-restart", "1", "-outfile", "made.jpg", "source.pnm"},
         djpeg,
         0},
        {"grey", {"cjpeg", "-grayscale", "-outfile", "made.jpg", "source.pnm"}, djpeg, 0},
        // Adobe's inverted CMYK, which djpeg cannot turn into RGB: ImageMagick does.
        {"CMYK by ImageMagick",
         {"convert", "source.pnm", "-colorspace", "CMYK", "made.jpg"},
         {"convert", "made.jpg", "-colorspace", "sRGB", "PPM:reference.pnm"},
         2},
    };
    JPEGTranslator translator;
    ForeignFiles files;
    files.Write("source.pnm", ToNetpbm(SmoothPicture(67, 45)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(files.Run(c.make));
        ASSERT_TRUE(files.Run(c.reference));
        const std::vector<uint8> jpeg = files.Read("made.jpg");
        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, jpeg, &image), B_OK) << ErrorReason();
        EXPECT_EQ(image->ColorSpace(), B_RGB32);
        ExpectPixelsMatch(ParseNetpbm(files.Read("reference.pnm"), "reference"), *image,
                          c.tolerance);
        ExpectTruncationsRefused(translator, jpeg);
    }
}

TEST(JPEGTranslator, GreyAndCMYKBecomeRGB) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(Decode(translator,
                     WriteWithLibjpeg(JCS_GRAYSCALE, JCS_GRAYSCALE, 1, std::vector<uint8>(256, 77)),
                     &image),
              B_OK);
    EXPECT_EQ(std::memcmp(Pixel(*image, 3, 3), "\x4d\x4d\x4d\xff", 4), 0);

    // Ink stored the Adobe way, inverted (255 is no ink): 50 % cyan and 20 % black give red
    // (1 - 0.5) × (1 - 0.2) = 0.4, green and blue 0.8.
    std::vector<uint8> cmyk;
    for (int i = 0; i < 256; i++) {
        cmyk.insert(cmyk.end(), {255 - 128, 255, 255, 255 - 51});
    }
    for (J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
        ASSERT_EQ(Decode(translator, WriteWithLibjpeg(JCS_CMYK, stored, 4, cmyk), &image), B_OK)
            << ErrorReason();
        const uint8* p = Pixel(*image, 8, 8);
        EXPECT_NEAR(p[2], 102, 2) << stored;
        EXPECT_NEAR(p[1], 204, 2) << stored;
        EXPECT_NEAR(p[0], 204, 2) << stored;
    }
}

TEST(JPEGTranslator, ExifOrientationIsAppliedUnlessTurnedOff) {
    JPEGTranslator translator;
    // Dark left half, light right half: the turn shows despite the compression.
    std::unique_ptr<BBitmap> source;
    ASSERT_EQ(NewImage(64, 32, false, &source), B_OK);
    for (uint32 y = 0; y < 32; y++) {
        std::memset(const_cast<uint8*>(Pixel(*source, 32, y)), 255, 32 * 4);
    }
    std::vector<uint8> jpeg = Encode(translator, *source, kJPEG);
    // An APP1 Exif segment after SOI: orientation 6, turn 90° clockwise.
    const uint8 app1[] = {0xff, 0xe1, 0, 34, 'E', 'x', 'i', 'f', 0,    0,    'I', 'I',
                          42,   0,    8, 0,  0,   0,   1,   0,   0x12, 0x01, 3,   0,
                          1,    0,    0, 0,  6,   0,   0,   0,   0,    0,    0,   0};
    jpeg.insert(jpeg.begin() + 2, std::begin(app1), std::end(app1));

    std::unique_ptr<BBitmap> upright;
    ASSERT_EQ(Decode(translator, jpeg, &upright), B_OK) << ErrorReason();
    ASSERT_EQ(upright->PixelWidth(), 32u);
    ASSERT_EQ(upright->PixelHeight(), 64u);
    EXPECT_LT(Pixel(*upright, 16, 8)[1], 20);  // the dark half is now on top
    EXPECT_GT(Pixel(*upright, 16, 56)[1], 235);

    auto stored = DecodeAsStored(translator, jpeg);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->PixelWidth(), 64u);
}

TEST(JPEGTranslator, SettingsShapeTheOutput) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image = ToBitmap(SmoothPicture(227, 149)), decoded;
    std::vector<uint8> normal = Encode(translator, *image, kJPEG);
    ASSERT_EQ(Decode(translator, normal, &decoded), B_OK);
    EXPECT_GT(PSNR(*image, *decoded), 35.0);
    EXPECT_EQ(normal[FindMarker(normal, 0xc0) + 11], 0x22);  // luma 2×2: 4:2:0

    // Each setting against the defaults (quality 90, 4:2:0, optimised, baseline).
    struct Case {
        const char* name;
        int32 value;
        int sizeOrder;  // the output against the default's size
        uint8 marker;   // the frame marker expected
        uint8 sampling;
    } cases[] = {{"quality", 40, -1, 0xc0, 0x22},
                 {"subsampling", 2, +1, 0xc0, 0x11},
                 {"subsampling", 1, +1, 0xc0, 0x21},
                 {"optimize", 0, +1, 0xc0, 0x22},
                 {"progressive", 1, 0, 0xc2, 0x22}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32 before = translator.Settings().Int32(c.name);
        ASSERT_EQ(translator.Settings().Set(c.name, c.value), B_OK);
        std::vector<uint8> out = Encode(translator, *image, kJPEG);
        ASSERT_EQ(translator.Settings().Set(c.name, before), B_OK);
        size_t frame = FindMarker(out, c.marker);
        ASSERT_NE(frame, 0u);
        EXPECT_EQ(out[frame + 11], c.sampling);
        if (c.sizeOrder != 0) {
            EXPECT_EQ(out.size() > normal.size(), c.sizeOrder > 0);
        }
        ASSERT_EQ(Decode(translator, out, &decoded), B_OK);
        EXPECT_GT(PSNR(*image, *decoded), c.value == 40 ? 30.0 : 35.0);
    }
}

TEST(JPEGTranslator, TransparencyIsFlattenedOnWhiteUnlessTurnedOff) {
    JPEGTranslator translator;
    std::unique_ptr<BBitmap> image, decoded;
    ASSERT_EQ(NewImage(32, 32, true, &image), B_OK);  // black, fully transparent
    ASSERT_EQ(Decode(translator, Encode(translator, *image, kJPEG), &decoded), B_OK);
    EXPECT_GE(Pixel(*decoded, 10, 10)[0], 254);
    ASSERT_EQ(translator.Settings().Set("flatten_alpha", 0), B_OK);
    ASSERT_EQ(Decode(translator, Encode(translator, *image, kJPEG), &decoded), B_OK);
    EXPECT_LE(Pixel(*decoded, 10, 10)[0], 1);
    ASSERT_EQ(translator.Settings().Set("flatten_alpha", 1), B_OK);
}

TEST(JPEGTranslator, HostileFilesAreRefusedAndWriteFailuresReported) {
    JPEGTranslator translator;
    const std::unique_ptr<BBitmap> picture = ToBitmap(SmoothPicture(227, 149));
    std::vector<uint8> jpeg = Encode(translator, *picture, kJPEG);
    ExpectTruncationsRefused(translator, jpeg);
    // Cut between progressive scans too: a coarse early scan must not pass for the picture.
    ASSERT_EQ(translator.Settings().Set("progressive", 1), B_OK);
    ExpectTruncationsRefused(translator, Encode(translator, *picture, kJPEG));
    ASSERT_EQ(translator.Settings().Set("progressive", 0), B_OK);

    std::unique_ptr<BBitmap> image;
    std::vector<uint8> twelve = jpeg;  // an extended frame of 12-bit samples
    const size_t frame = FindMarker(jpeg, 0xc0);
    twelve[frame + 1] = 0xc1;
    twelve[frame + 4] = 12;
    EXPECT_NE(Decode(translator, twelve, &image), B_OK);
    EXPECT_NE(ErrorReason().find("12 bits"), std::string::npos) << ErrorReason();

    std::vector<uint8> bomb = jpeg;  // a frame of 60000 × 60000
    bomb[frame + 5] = bomb[frame + 7] = 60000 >> 8;
    bomb[frame + 6] = bomb[frame + 8] = 60000 & 0xff;
    ExpectRefused(translator, bomb, "bomb");

    std::vector<uint8> damaged = jpeg;  // garbage in the middle of the entropy data
    for (size_t i = FindMarker(jpeg, 0xda) + 200; i < FindMarker(jpeg, 0xda) + 400; i++) {
        damaged[i] = damaged[i] == 0xff ? 0xfe : uint8(damaged[i] ^ 0x5a);
    }
    ExpectRefused(translator, damaged, "damaged");

    ExpectWriteFailureReported(translator, *MakePhotoLikeImage(300, 200, false), kJPEG);
}

}  // namespace
}  // namespace orv::test
