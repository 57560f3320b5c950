// SPDX-License-Identifier: MIT
// The colour description and metadata of PNG files: read from files other programs made,
// written so that those programs read them back, and each colour chunk and its precedence.
#include <cmath>

#include "tests/translators/png/PngTestFiles.h"

namespace orv::test {
namespace {

constexpr char kAdobeProfile[] = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";

std::vector<uint8> Be32(std::initializer_list<uint32> values) {
    std::vector<uint8> bytes;
    for (uint32 v : values) {
        bytes.resize(bytes.size() + 4);
        PutBig32(&bytes[bytes.size() - 4], v);
    }
    return bytes;
}

// A profile, EXIF, XMP and 300 dpi put in by ImageMagick and exiftool come out of our
// decoder and go back into a file of ours where exiftool finds them unchanged.
TEST(PngMetadata, WhatOtherProgramsWroteIsReadAndWrittenBack) {
    const std::vector<uint8> profile = ReadFileIfPresent(kAdobeProfile);
    if (profile.empty() || !RunTool("convert -version") || !RunTool("exiftool -ver")) {
        GTEST_SKIP() << "ImageMagick, exiftool or icc-profiles-free missing";
    }
    ScratchFolder folder;
    const std::string in = folder.Path("in.png");
    ASSERT_TRUE(RunTool("convert -size 24x16 gradient:red-blue -profile " +
                        std::string(kAdobeProfile) + " -units PixelsPerInch -density 300 " + in));
    ASSERT_TRUE(
        RunTool("exiftool -overwrite_original -DateTimeOriginal='2024:05:06 07:08:09' "
                "-Make=Orvane -XMP-dc:Title=Carnet " +
                in));
    PNGTranslator translator;
    const DecodedImage decoded = DecodeWhole(translator, ReadFile(in));
    ASSERT_NE(decoded.bitmap, nullptr);
    const PictureMetadata& metadata = decoded.info.metadata;
    EXPECT_EQ(metadata.color.icc, profile);
    EXPECT_FALSE(metadata.color.srgb);
    ASSERT_GE(metadata.exif.size(), 8u);
    EXPECT_TRUE(metadata.exif[0] == 'I' || metadata.exif[0] == 'M');
    EXPECT_NE(std::string(metadata.xmp.begin(), metadata.xmp.end()).find("Carnet"),
              std::string::npos);
    EXPECT_NEAR(metadata.xDpi, 300.0, 0.01);
    EXPECT_NEAR(metadata.yDpi, 300.0, 0.01);
    EXPECT_TRUE(decoded.damage.empty()) << decoded.damage;

    const std::string out =
        folder.Write("out.png", EncodeWith(translator, *decoded.bitmap, decoded.info));
    EXPECT_EQ(ToolOutput("exiftool -s3 -DateTimeOriginal -Make -XMP-dc:Title -PixelUnits "
                         "-PixelsPerUnitX " +
                         out),
              "2024:05:06 07:08:09\nOrvane\nCarnet\nmeters\n11811");
    EXPECT_EQ(ToolOutput("exiftool -b -ICC_Profile " + out + " | md5sum"),
              ToolOutput(std::string("md5sum < ") + kAdobeProfile));
    EXPECT_EQ(ToolOutput("identify -format '%[colorspace] %r' " + out).substr(0, 4), "sRGB");
}

// IPTC has no chunk of its own: it goes as ImageMagick's raw profile, which exiftool reads.
TEST(PngMetadata, IptcTravelsAsARawProfile) {
    if (!RunTool("exiftool -ver")) {
        GTEST_SKIP() << "exiftool missing";
    }
    PictureInfo info;
    // Dataset 2:25 (keyword) "orvane", then 2:120 (caption).
    info.metadata.iptc = {0x1c, 2,    25, 0,   6, 'o', 'r', 'v', 'a', 'n',
                          'e',  0x1c, 2,  120, 0, 3,   'm', 'e', 'r'};
    PNGTranslator translator;
    const std::vector<uint8> png = EncodeWith(translator, *TestPicture(8, 8, false), info);
    ScratchFolder folder;
    EXPECT_EQ(ToolOutput("exiftool -s3 -IPTC:Keywords -IPTC:Caption-Abstract " +
                         folder.Write("iptc.png", png)),
              "orvane\nmer");
    EXPECT_EQ(DecodeWhole(translator, png).info.metadata.iptc, info.metadata.iptc);
}

// Each colour chunk as a file states it, the precedence between them, and the same
// description once written by us and read again.
TEST(PngMetadata, ColourChunksAreReadWithTheirPrecedenceAndWrittenBack) {
    const std::vector<uint8> chrm = Be32({31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000});
    // A tiny grey "profile": 'GRAY' where a profile's header names its colour space.
    std::vector<uint8> iccp = {'p', 0, 0};
    std::vector<uint8> body(16, 0);
    body.insert(body.end(), {'G', 'R', 'A', 'Y'});
    const std::vector<uint8> stream = StoredZlib(body);
    iccp.insert(iccp.end(), stream.begin(), stream.end());
    struct Case {
        const char* name;
        std::vector<std::vector<uint8>> chunks;
        std::vector<std::string> written;  // the colour chunks our file then holds
        bool srgb;
        int intent;
        double gamma;
        uint8 primaries;
        size_t icc;
        bool damaged;
    } cases[] = {
        {"sRGB with fallbacks",
         {Chunk("sRGB", {2}), Chunk("gAMA", Be32({45455})), Chunk("cHRM", chrm)},
         {"sRGB"},
         true,
         2,
         0,
         0,
         0,
         false},
        {"gamma and primaries",
         {Chunk("gAMA", Be32({45455})), Chunk("cHRM", chrm)},
         {"gAMA", "cHRM"},
         false,
         0,
         0.45455,
         0,
         0,
         false},
        {"cICP", {Chunk("cICP", {9, 16, 0, 1})}, {"cICP"}, false, 0, 0, 9, 0, false},
        {"profile over sRGB",
         {Chunk("iCCP", iccp), Chunk("sRGB", {1})},
         {"iCCP"},
         false,
         0,
         0,
         0,
         20,
         false},
        {"damaged gamma left out", {Chunk("gAMA", {0, 0, 0, 0})}, {}, false, 0, 0, 0, 0, true},
    };
    PNGTranslator translator;
    // Grey pixels, which the grey profile fits.
    auto grey = NewBitmap(6, 4, false);
    for (uint32 y = 0; y < 4; y++) {
        for (uint32 x = 0; x < 6; x++) {
            const uint32 v = (x * 40 + y * 7) & 0xff;
            SetPixelValue(*grey, x, y, 0xff000000 | v << 16 | v << 8 | v);
        }
    }
    const std::vector<uint8> plain = Encode(translator, *grey, kPNG);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8> png = plain;
        for (auto chunk = c.chunks.rbegin(); chunk != c.chunks.rend(); ++chunk) {
            InsertAfterHeader(&png, *chunk);
        }
        const DecodedImage decoded = DecodeWhole(translator, png);
        ASSERT_NE(decoded.bitmap, nullptr);
        const ColorDescription& color = decoded.info.metadata.color;
        EXPECT_EQ(color.srgb, c.srgb);
        EXPECT_EQ(color.renderingIntent, c.intent);
        EXPECT_NEAR(color.gamma, c.gamma, 1e-9);
        EXPECT_EQ(color.primaries, c.primaries);
        EXPECT_EQ(color.icc.size(), c.icc);
        EXPECT_EQ(color.HasChromaticities(), c.gamma > 0);
        if (c.gamma > 0) {
            EXPECT_NEAR(color.chromaticities[0], 0.3127, 1e-9);
            EXPECT_NEAR(color.chromaticities[7], 0.06, 1e-9);
        }
        EXPECT_EQ(decoded.damage.empty(), !c.damaged) << decoded.damage;

        const std::vector<uint8> written = EncodeWith(translator, *decoded.bitmap, decoded.info);
        const std::vector<std::string> types = ChunkTypes(written);
        for (const char* type : {"iCCP", "sRGB", "gAMA", "cHRM", "cICP"}) {
            EXPECT_EQ(CountOf(types, type),
                      size_t(std::count(c.written.begin(), c.written.end(), type)))
                << type;
        }
        const ColorDescription again = DecodeWhole(translator, written).info.metadata.color;
        EXPECT_EQ(again.icc, color.icc);
        EXPECT_EQ(again.srgb, color.srgb);
        EXPECT_EQ(again.renderingIntent, color.renderingIntent);
        EXPECT_NEAR(again.gamma, color.gamma, 1e-9);
        EXPECT_EQ(again.primaries, color.primaries);
        EXPECT_EQ(again.transfer, color.transfer);
    }
}

}  // namespace
}  // namespace orv::test
