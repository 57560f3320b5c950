// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFTranslator.h"

#include <cmath>
#include <span>

#include "tests/TempFolder.h"
#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ForeignFiles.h"
#include "tests/translators/tiff/TIFFTestFiles.h"

namespace orv::test {
namespace {

class TIFFTranslatorTest : public ::testing::Test {
protected:
    void TearDown() override { RestoreDefaults(fTranslator); }

    TIFFTranslator fTranslator;
};

TEST_F(TIFFTranslatorTest, FilesOfImageMagickAndTiffcpDecodeToTheirSource) {
    ORV_NEED_PROGRAMS("convert", "tiffcp");
    using enum PatternAlpha;
    const Samples translucent = PatternPicture(4, 255, 851, kEveryLevel);
    const Samples colours = PatternPicture(3, 255, 851, kNone);
    const Samples smooth = SmoothPicture(67, 45);  // for the lossy one
    const auto recompressed = [](std::vector<std::string> options) {
        options.insert(options.begin(), "tiffcp");
        options.insert(options.end(), {"written.tif", "made.tif"});
        return options;
    };
    struct Case {
        const char* name;
        Samples source;
        std::vector<std::string> options;  // for ImageMagick, which writes written.tif
        std::vector<std::string> rewrite;  // a tiffcp command that makes made.tif of it, if any
        int tolerance;
    };
    const Case cases[] = {
        {"RGB", colours, {}, {}, 0},
        {"RGBA, LZW", translucent, {"-compress", "LZW"}, {}, 0},
        {"16-bit RGBA", PatternPicture(4, 65535, 851, kEveryLevel), {}, {}, 1},
        {"16-bit grey, Deflate",
         PatternPicture(1, 65535, 1000, kNone),
         {"-compress", "Zip"},
         {},
         1},
        {"4-bit palette", PatternPicture(3, 255, 16, kNone), {"-type", "Palette"}, {}, 0},
        {"LZW with the horizontal predictor", translucent, {}, recompressed({"-c", "lzw:2"}), 0},
        {"Deflate with the horizontal predictor",
         translucent,
         {},
         recompressed({"-c", "zip:2"}),
         0},
        {"PackBits", translucent, {}, recompressed({"-c", "packbits"}), 0},
        {"16 × 16 tiles", translucent, {}, recompressed({"-t", "-w", "16", "-l", "16"}), 0},
        {"separate planes", translucent, {}, recompressed({"-p", "separate"}), 0},
        {"JPEG in YCbCr", smooth, {}, recompressed({"-c", "jpeg:95", "-r", "16"}), 6},
    };
    ForeignFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> options = c.options;
        options.push_back(c.rewrite.empty() ? "TIFF:made.tif" : "TIFF:written.tif");
        ASSERT_TRUE(files.Convert(c.source, options));
        if (!c.rewrite.empty()) {
            ASSERT_TRUE(files.Run(c.rewrite));
        }
        ExpectDecodesTo(fTranslator, files.Read("made.tif"), c.source, c.tolerance);
    }
}

TEST_F(TIFFTranslatorTest, MatchesTheCorpusReferences) {
    ORV_NEED_CORPUS();
    auto grid = DecodeOK(fTranslator, ReadFile(CorpusPath("webp/grid.tiff")));
    ASSERT_TRUE(grid);
    ExpectMatchesNetpbm(*grid, CorpusPath("webp/grid.pam"));
    for (const char* name : {"peak", "lossless_color_transform"}) {
        auto image =
            DecodeOK(fTranslator, ReadFile(CorpusPath(std::string("webp/") + name + ".tiff")));
        ASSERT_TRUE(image);
        ExpectMatchesNetpbm(*image, CorpusPath(std::string("webp/") + name + ".ppm"));
    }
}

TEST_F(TIFFTranslatorTest, DecodesColourAndAlphaVariants) {
    auto opaque = MakeTestImage(40, 21, false);
    auto straight = MakeTestImage(40, 21, true);
    const std::vector<uint8> rgb = ToSamples(*opaque, false);
    const std::vector<uint8> rgba = ToSamples(*straight, true);
    struct Case {
        const char* name;
        Variant variant;
        const std::vector<uint8>& samples;
        const BBitmap& expected;
    };
    const Case cases[] = {
        {"RGB LZW strips", {}, rgb, *opaque},
        {"RGB Deflate tiles",
         {.compression = COMPRESSION_ADOBE_DEFLATE, .tiled = true},
         rgb,
         *opaque},
        {"RGB raw", {.compression = COMPRESSION_NONE}, rgb, *opaque},
        {"RGBA unassociated, faint pixels kept",
         {.samples = 4, .extra = EXTRASAMPLE_UNASSALPHA},
         rgba,
         *straight},
        {"RGBA unassociated tiles",
         {.samples = 4, .extra = EXTRASAMPLE_UNASSALPHA, .tiled = true},
         rgba,
         *straight},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = DecodeOK(fTranslator, WriteTIFF(c.variant, 40, 21, c.samples.data()));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->ColorSpace(), c.expected.ColorSpace());
        ExpectSamePixels(c.expected, *image);
    }
}

TEST_F(TIFFTranslatorTest, UnpremultipliesAssociatedAlpha) {
    // Straight colours with alpha from 128 up, stored premultiplied, come back within one
    // level.
    auto straight = MakeTestImage(16, 16, true);
    std::vector<uint8> premultiplied = ToSamples(*straight, true);
    for (size_t i = 0; i < premultiplied.size(); i += 4) {
        uint8 a = premultiplied[i + 3] = uint8(128 + premultiplied[i + 3] / 2);
        for (int c = 0; c < 3; c++) {
            premultiplied[i + c] = uint8((premultiplied[i + c] * a + 127) / 255);
        }
    }
    std::vector<uint8> expectedSamples = ToSamples(*straight, true);
    for (size_t i = 3; i < expectedSamples.size(); i += 4) {
        expectedSamples[i] = premultiplied[i];
    }
    auto expected = FromSamples(expectedSamples.data(), 16, 16, true);

    Variant v{.samples = 4, .extra = EXTRASAMPLE_ASSOCALPHA};
    auto image = DecodeOK(fTranslator, WriteTIFF(v, 16, 16, premultiplied.data()));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ColorSpace(), B_RGBA32);
    ExpectSamePixels(*expected, *image, 1);
}

TEST_F(TIFFTranslatorTest, ConvertsGreyPaletteSixteenBitAndCMYK) {
    const uint8 grey[4] = {0, 85, 170, 255};
    const uint16 deep[2 * 3] = {0x0000, 0x7fff, 0xffff, 0x1234, 0x8080, 0xfe7f};
    const uint8 indices[4] = {0, 1, 2, 1};
    const uint8 cmyk[2 * 4] = {255, 0, 0, 0, 0, 0, 0, 128};
    std::vector<uint16> colourMap(3 * 256, 0);
    colourMap[0] = 0xffff;        // red of entry 0
    colourMap[256 + 1] = 0xffff;  // green of entry 1
    colourMap[512 + 2] = 0x8080;  // blue of entry 2
    struct Case {
        const char* name;
        Variant variant;
        uint32 width;
        const void* samples;
        std::vector<uint8> expectedRGB;
    };
    const Case cases[] = {
        {"grey",
         {.photometric = PHOTOMETRIC_MINISBLACK, .samples = 1},
         4,
         grey,
         {0, 0, 0, 85, 85, 85, 170, 170, 170, 255, 255, 255}},
        {"grey, white is zero",
         {.photometric = PHOTOMETRIC_MINISWHITE, .samples = 1},
         4,
         grey,
         {255, 255, 255, 170, 170, 170, 85, 85, 85, 0, 0, 0}},
        {"palette",
         {.photometric = PHOTOMETRIC_PALETTE, .samples = 1, .colourMap = colourMap},
         4,
         indices,
         {255, 0, 0, 0, 255, 0, 0, 0, 128, 0, 255, 0}},
        {"16-bit", {.bits = 16}, 2, deep, {0, 128, 255, 18, 128, 254}},
        {"CMYK",
         {.photometric = PHOTOMETRIC_SEPARATED, .samples = 4},
         2,
         cmyk,
         {0, 255, 255, 127, 127, 127}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = DecodeOK(fTranslator, WriteTIFF(c.variant, c.width, 1, c.samples));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->ColorSpace(), B_RGB32);
        for (uint32 x = 0; x < c.width; x++) {
            for (int k = 0; k < 3; k++) {
                EXPECT_NEAR(Pixel(*image, x, 0)[2 - k], c.expectedRGB[x * 3 + k], 1)
                    << "pixel " << x << " channel " << k;
            }
        }
    }
}

TEST_F(TIFFTranslatorTest, ReadsFloatingPointAndWideIntegerSamples) {
    // Seven values a channel, and the byte each must become: floating point clamped to
    // 0 to 1, NaN as 0.
    const double values[7] = {-0.5, 0.0, 0.25, 0.5, 1.0, 2.0, std::nan("")};
    const uint8 bytes[7] = {0, 0, 64, 128, 255, 255, 0};
    struct Case {
        const char* name;
        Variant variant;
    };
    const Case cases[] = {
        {"grey float",
         {.photometric = PHOTOMETRIC_MINISBLACK,
          .bits = 32,
          .samples = 1,
          .sampleFormat = SAMPLEFORMAT_IEEEFP}},
        {"grey and alpha float",
         {.photometric = PHOTOMETRIC_MINISBLACK,
          .bits = 32,
          .samples = 2,
          .extra = EXTRASAMPLE_UNASSALPHA,
          .sampleFormat = SAMPLEFORMAT_IEEEFP}},
        {"RGB float, Deflate",
         {.bits = 32,
          .compression = COMPRESSION_ADOBE_DEFLATE,
          .sampleFormat = SAMPLEFORMAT_IEEEFP}},
        {"RGBA float, planes apart",
         {.bits = 32,
          .samples = 4,
          .extra = EXTRASAMPLE_UNASSALPHA,
          .sampleFormat = SAMPLEFORMAT_IEEEFP,
          .planar = PLANARCONFIG_SEPARATE}},
        {"RGB float, tiles", {.bits = 32, .sampleFormat = SAMPLEFORMAT_IEEEFP, .tiled = true}},
        {"RGB double", {.bits = 64, .sampleFormat = SAMPLEFORMAT_IEEEFP}},
        {"RGB 32-bit integers", {.bits = 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Variant& v = c.variant;
        // Channel k of pixel x takes value (x + k) % 7.
        std::vector<uint8> samples;
        for (uint32 x = 0; x < 7; x++) {
            for (uint32 k = 0; k < v.samples; k++) {
                const double value = values[(x + k) % 7];
                uint8 raw[8];
                if (v.sampleFormat == SAMPLEFORMAT_UINT) {
                    const auto u = uint32(std::llround(std::clamp(value, 0.0, 1.0) * 4294967295.0));
                    std::memcpy(raw, &u, 4);
                } else if (v.bits == 32) {
                    const auto f = float(value);
                    std::memcpy(raw, &f, 4);
                } else {
                    std::memcpy(raw, &value, 8);
                }
                samples.insert(samples.end(), raw, raw + v.bits / 8);
            }
        }
        auto image = DecodeOK(fTranslator, WriteTIFF(v, 7, 1, samples.data()));
        ASSERT_TRUE(image);
        const bool alpha = v.samples == 2 || v.samples == 4;
        EXPECT_EQ(image->ColorSpace(), alpha ? B_RGBA32 : B_RGB32);
        for (uint32 x = 0; x < 7; x++) {
            const uint8* p = Pixel(*image, x, 0);
            const uint8 first = bytes[x];
            const uint8 red = first;
            const uint8 green = v.samples >= 3 ? bytes[(x + 1) % 7] : first;
            const uint8 blue = v.samples >= 3 ? bytes[(x + 2) % 7] : first;
            const uint8 a = v.samples == 2   ? bytes[(x + 1) % 7]
                            : v.samples == 4 ? bytes[(x + 3) % 7]
                                             : 255;
            EXPECT_EQ(p[2], red) << x;
            EXPECT_EQ(p[1], green) << x;
            EXPECT_EQ(p[0], blue) << x;
            EXPECT_EQ(p[3], a) << x;
        }
    }
}

TEST_F(TIFFTranslatorTest, StoresGreyAndFewColoursInTheSmallestExactLayout) {
    // Noise pictures of a chosen kind: grey, grey with alpha, or `colours` colours.
    const auto make = [](bool grey, bool alpha, uint32 colours) {
        auto image = NoisePicture(61, 37, alpha);
        for (uint32 y = 0; y < 37; y++) {
            for (uint32 x = 0; x < 61; x++) {
                uint32 v = PixelValue(*image, x, y);
                if (grey) {
                    v = (v & 0xff0000ff) | (v & 0xff) << 8 | (v & 0xff) << 16;
                } else if (colours != 0) {
                    v = 0xff000000 | ((v & 0xffff) % colours) * 0x010203;
                }
                SetPixelValue(*image, x, y, v);
            }
        }
        return image;
    };
    struct Case {
        const char* name;
        std::unique_ptr<BBitmap> image;
        uint16 photometric, samples, bits;
    };
    Case cases[] = {
        {"grey", make(true, false, 0), PHOTOMETRIC_MINISBLACK, 1, 8},
        {"grey and alpha", make(true, true, 0), PHOTOMETRIC_MINISBLACK, 2, 8},
        {"two colours", make(false, false, 2), PHOTOMETRIC_PALETTE, 1, 1},
        {"three colours", make(false, false, 3), PHOTOMETRIC_PALETTE, 1, 2},
        {"sixteen colours", make(false, false, 16), PHOTOMETRIC_PALETTE, 1, 4},
        {"two hundred colours", make(false, false, 200), PHOTOMETRIC_PALETTE, 1, 8},
        {"colour", make(false, false, 0), PHOTOMETRIC_RGB, 3, 8},
        {"colour and alpha", make(false, true, 0), PHOTOMETRIC_RGB, 4, 8},
    };
    orvtest::TempFolder folder;
    const size_t rgbSize = Encode(fTranslator, *cases[6].image, kTIFF).size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8> bytes = Encode(fTranslator, *c.image, kTIFF);
        auto back = DecodeOK(fTranslator, bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->ColorSpace(), c.image->ColorSpace());
        EXPECT_TRUE(SamePixels(*c.image, *back));
        const std::string path = folder / "layout.tif";
        orvtest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
        TIFF* t = TIFFOpen(path.c_str(), "r");
        ASSERT_NE(t, nullptr);
        uint16 photometric = 0, samples = 0, bits = 0;
        TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
        TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFClose(t);
        EXPECT_EQ(photometric, c.photometric);
        EXPECT_EQ(samples, c.samples);
        EXPECT_EQ(bits, c.bits);
        if (c.samples < 3) {
            EXPECT_LT(bytes.size(), rgbSize * 3 / 4);
        }
    }
}

TEST_F(TIFFTranslatorTest, AppliesTheFileOrientationWhenAsked) {
    // Stored 3 × 2: row 0 is a b c, row 1 is d e f (red channel 1 to 6).
    std::unique_ptr<BBitmap> stored;
    ASSERT_EQ(NewImage(3, 2, false, &stored), B_OK);
    for (uint32 i = 0; i < 6; i++) {
        uint8* p = MutablePixel(*stored, i % 3, i / 3);
        p[2] = uint8(i + 1);
        p[3] = 255;
    }
    const std::vector<uint8> samples = ToSamples(*stored, false);
    struct Case {
        uint16 orientation;
        uint32 width;
        std::vector<uint8> reds;  // upright, row by row
    };
    const Case cases[] = {
        {ORIENTATION_BOTRIGHT, 3, {6, 5, 4, 3, 2, 1}},  // half a turn
        {ORIENTATION_LEFTTOP, 2, {1, 4, 2, 5, 3, 6}},   // transposed
        {ORIENTATION_RIGHTTOP, 2, {4, 1, 5, 2, 6, 3}},  // a quarter turn clockwise
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        const auto file = WriteTIFF({.orientation = c.orientation}, 3, 2, samples.data());
        auto upright = DecodeOK(fTranslator, file);
        ASSERT_TRUE(upright);
        ASSERT_EQ(upright->PixelWidth(), c.width);
        for (uint32 i = 0; i < 6; i++) {
            EXPECT_EQ(Pixel(*upright, i % c.width, i / c.width)[2], c.reds[i]) << i;
        }

        auto asStored = DecodeAsStored(fTranslator, file);
        ASSERT_TRUE(asStored);
        ExpectSamePixels(*stored, *asStored);
    }
}

TEST_F(TIFFTranslatorTest, RoundTripIsExactInEveryCompression) {
    size_t sizes[3] = {};
    int i = 0;
    for (int compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE}) {
        ASSERT_EQ(fTranslator.Settings().Set("compression", compression), B_OK);
        for (bool alpha : {false, true}) {
            auto image = MakeTestImage(123, 77, alpha);
            std::vector<uint8> bytes = Encode(fTranslator, *image, kTIFF);
            auto back = DecodeOK(fTranslator, bytes);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->ColorSpace(), alpha ? B_RGBA32 : B_RGB32);
            ExpectSamePixels(*image, *back);
            if (!alpha) {
                sizes[i] = bytes.size();
            }
        }
        i++;
    }
    EXPECT_GT(sizes[0], 123u * 77 * 3);
    EXPECT_LT(sizes[1], sizes[0] / 2);
    EXPECT_LT(sizes[2], sizes[0] / 2);
}

TEST_F(TIFFTranslatorTest, RefusesDamagedFilesQuietly) {
    auto image = MakeTestImage(64, 48, true);
    const std::vector<uint8> good = Encode(fTranslator, *image, kTIFF);
    ::testing::internal::CaptureStderr();
    // The last byte of our files ends the Software tag's text, which libtiff reads short
    // without losing a pixel.
    ExpectTruncationsRefused(fTranslator, good, /*lastByteNeeded=*/false);

    // Strips that claim to lie past the end of the file.
    std::vector<uint8> lost =
        WriteTIFF({.compression = COMPRESSION_NONE}, 4, 4, std::vector<uint8>(48, 7).data());
    lost.erase(lost.begin() + 8, lost.begin() + 8 + 48);
    lost[4] -= 48;  // the directory moved up with the cut
    ExpectRefused(fTranslator, lost, "strips past the end");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(TIFFTranslatorTest, RefusesHugeSizesBeforeAllocating) {
    std::vector<uint8> file =
        WriteTIFF({.compression = COMPRESSION_NONE}, 1, 1, std::vector<uint8>(3, 0).data());
    ASSERT_EQ(file[0], 'I');
    const uint32 ifd = file[4] | (file[5] << 8) | (file[6] << 16) | (uint32(file[7]) << 24);
    const uint32 entries = file[ifd] | (file[ifd + 1] << 8);
    for (uint32 e = 0; e < entries; e++) {
        uint8* entry = &file[ifd + 2 + e * 12];
        const uint32 tag = entry[0] | (entry[1] << 8);
        if (tag == TIFFTAG_IMAGEWIDTH || tag == TIFFTAG_IMAGELENGTH ||
            tag == TIFFTAG_ROWSPERSTRIP) {
            // 60000, whether the value is stored as SHORT or LONG.
            entry[8] = 0x60;
            entry[9] = 0xea;
        }
    }
    ExpectRefused(fTranslator, file, "60000 x 60000");
}

TEST(TIFFAddOnTest, ConvertsThroughTheRoster) {
    ExpectAddOnRoundTrip("tiff", FourCC("TIFF"), *MakeTestImage(29, 19, true));
}

}  // namespace
}  // namespace orv::test
