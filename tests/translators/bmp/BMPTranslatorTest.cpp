// SPDX-License-Identifier: MIT
#include "translators/bmp/BMPTranslator.h"

#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ForeignFiles.h"

namespace orv::test {
namespace {

constexpr uint32 kBMP = FourCC("BMP ");

void Put16(std::vector<uint8>* out, uint32 v) {
    out->push_back(uint8(v));
    out->push_back(uint8(v >> 8));
}
void Put32(std::vector<uint8>* out, uint32 v) {
    Put16(out, v);
    Put16(out, v >> 16);
}

struct Layout {
    uint32 headerSize = 40;
    uint16 bits = 24;
    uint32 compression = 0;
    bool topDown = false;
    std::vector<uint32> masks = {};    // written after a 40-byte header, or inside a larger one
    std::vector<uint32> palette = {};  // 0x00RRGGBB
    uint32 colorsUsed = 0;
};

// A little-endian field of `size` bytes.
uint32 ReadLE(const std::vector<uint8>& bytes, size_t at, size_t size) {
    uint32 value = 0;
    for (size_t i = size; i-- > 0;) {
        value = value << 8 | bytes[at + i];
    }
    return value;
}

// A BMP file around `pixels` (rows in file order, already padded).
std::vector<uint8> BuildBMP(const Layout& l, int32 width, int32 height,
                            const std::vector<uint8>& pixels) {
    std::vector<uint8> info;
    Put32(&info, l.headerSize);
    if (l.headerSize == 12) {
        Put16(&info, uint32(width));
        Put16(&info, uint32(height));
        Put16(&info, 1);
        Put16(&info, l.bits);
    } else {
        Put32(&info, uint32(width));
        Put32(&info, uint32(l.topDown ? -height : height));
        Put16(&info, 1);
        Put16(&info, l.bits);
        Put32(&info, l.compression);
        Put32(&info, uint32(pixels.size()));
        Put32(&info, 2835);
        Put32(&info, 2835);
        Put32(&info, l.colorsUsed);
        Put32(&info, 0);
        if (l.headerSize > 40) {
            for (uint32 m : l.masks) {
                Put32(&info, m);
            }
        }
        info.resize(l.headerSize, 0);
        if (l.headerSize == 40) {
            for (uint32 m : l.masks) {
                Put32(&info, m);
            }
        }
    }
    for (uint32 c : l.palette) {
        info.push_back(uint8(c));
        info.push_back(uint8(c >> 8));
        info.push_back(uint8(c >> 16));
        if (l.headerSize != 12) {
            info.push_back(0);
        }
    }
    std::vector<uint8> file = {'B', 'M'};
    Put32(&file, uint32(14 + info.size() + pixels.size()));
    Put32(&file, 0);
    Put32(&file, uint32(14 + info.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
    return file;
}

// Rows of `picture` in the file's order, each pixel turned into `bits` bits by `code`.
std::vector<uint8> Rows(const BBitmap& picture, uint32 bits, bool topDown,
                        const std::function<uint32(const uint8*)>& code) {
    std::vector<uint8> out;
    const uint32 w = picture.PixelWidth(), h = picture.PixelHeight();
    for (uint32 r = 0; r < h; r++) {
        const uint32 y = topDown ? r : h - 1 - r;
        std::vector<uint8> row((w * bits + 31) / 32 * 4, 0);
        for (uint32 x = 0; x < w; x++) {
            uint32 v = code(Pixel(picture, x, y));
            if (bits < 8) {
                row[x * bits / 8] |= uint8(v << (8 - bits - (x * bits) % 8));
            } else {
                for (uint32 b = 0; b < bits / 8; b++) {
                    row[x * bits / 8 + b] = uint8(v >> (8 * b));
                }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// 7 × 3, odd width so every depth has padding; colours 5-bit exact.
std::unique_ptr<BBitmap> Picture(uint32 colours, bool alpha) {
    static const uint32 palette[8] = {0x000000, 0xffffff, 0xff0000, 0x00ff00,
                                      0x0000ff, 0x84c6e7, 0x214263, 0x7b8c9c};
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(NewImage(7, 3, alpha, &image), B_OK);
    for (uint32 y = 0; y < 3; y++) {
        for (uint32 x = 0; x < 7; x++) {
            uint32 c = palette[(x * 3 + y * 5 + x * y) % colours];
            uint8* p = MutablePixel(*image, x, y);
            p[0] = uint8(c);
            p[1] = uint8(c >> 8);
            p[2] = uint8(c >> 16);
            p[3] = alpha ? uint8(x * 40 + y) : 255;
        }
    }
    return image;
}

uint32 IndexOf(const uint8* p) {
    static const uint32 palette[8] = {0x000000, 0xffffff, 0xff0000, 0x00ff00,
                                      0x0000ff, 0x84c6e7, 0x214263, 0x7b8c9c};
    uint32 c = p[0] | (p[1] << 8) | (p[2] << 16);
    return uint32(std::find(palette, palette + 8, c) - palette);
}

class BMPTranslatorTest : public ::testing::Test {
protected:
    void TearDown() override { RestoreDefaults(fTranslator); }

    BMPTranslator fTranslator;
};

TEST_F(BMPTranslatorTest, DecodesEveryUncompressedLayout) {
    const std::vector<uint32> palette = {0x000000, 0xffffff, 0xff0000, 0x00ff00,
                                         0x0000ff, 0x84c6e7, 0x214263, 0x7b8c9c};
    auto rgb555 = [](const uint8* p) {
        return uint32(((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3));
    };
    auto rgb565 = [](const uint8* p) {
        return uint32(((p[2] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[0] >> 3));
    };
    auto bgr = [](const uint8* p) { return uint32(p[0] | (p[1] << 8) | (p[2] << 16)); };
    auto junkAlpha = [](const uint8* p) {
        return uint32(p[0] | (p[1] << 8) | (p[2] << 16)) | 0x5a000000;
    };
    auto abgr = [](const uint8* p) {
        return uint32(p[0] | (p[1] << 8) | (p[2] << 16) | (p[3] << 24));
    };
    auto rgba = [](const uint8* p) { return uint32(p[2] << 24 | p[1] << 16 | p[0] << 8 | p[3]); };
    struct Case {
        const char* name;
        Layout layout;
        uint32 colours;
        bool alpha;
        std::function<uint32(const uint8*)> code;
        int tolerance = 0;  // the picture is not exact in 5 and 6-bit fields
    };
    const Case cases[] = {
        {"1-bit", {40, 1, 0, false, {}, {0x000000, 0xffffff}, 2}, 2, false, IndexOf},
        {"2-bit", {40, 2, 0, false, {}, {palette.begin(), palette.begin() + 4}}, 4, false, IndexOf},
        {"4-bit top-down", {40, 4, 0, true, {}, palette, 8}, 8, false, IndexOf},
        {"8-bit", {40, 8, 0, false, {}, palette, 8}, 8, false, IndexOf},
        {"8-bit OS/2",
         {12,
          8,
          0,
          false,
          {},
          [&] {
              std::vector<uint32> full(256, 0);
              std::copy(palette.begin(), palette.end(), full.begin());
              return full;
          }()},
         8,
         false,
         IndexOf},
        {"24-bit, short OS/2 2.x header", {16, 24}, 8, false, bgr},
        {"16-bit 5-5-5", {40, 16, 0}, 8, false, rgb555, 1},
        {"16-bit 5-6-5 fields", {40, 16, 3, false, {0xf800, 0x07e0, 0x001f}}, 8, false, rgb565, 2},
        {"24-bit", {40, 24}, 8, false, bgr},
        {"24-bit top-down", {40, 24, 0, true}, 8, false, bgr},
        {"32-bit, fourth byte unused", {40, 32}, 8, false, junkAlpha},
        {"32-bit V4 alpha",
         {108, 32, 3, false, {0xff0000, 0xff00, 0xff, 0xff000000}},
         8,
         true,
         abgr},
        {"32-bit V4, alpha mask over zeros",
         {108, 32, 3, false, {0xff0000, 0xff00, 0xff, 0xff000000}},
         8,
         false,
         bgr},
        {"32-bit RGBA fields",
         {56, 32, 3, true, {0xff000000, 0xff0000, 0xff00, 0xff}},
         8,
         true,
         rgba},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto picture = Picture(c.colours, c.alpha);
        auto file =
            BuildBMP(c.layout, 7, 3, Rows(*picture, c.layout.bits, c.layout.topDown, c.code));
        auto image = DecodeOK(fTranslator, file);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->ColorSpace(), c.alpha ? B_RGBA32 : B_RGB32);
        ExpectSamePixels(*picture, *image, c.tolerance);
    }
}

TEST_F(BMPTranslatorTest, ExpandsRunLengthCodes) {
    const std::vector<uint32> palette = {0x000000, 0xff0000, 0x00ff00, 0x0000ff};
    // 6 × 3, bottom row first. Row 0: run of 4 × index 1, then EOL (the rest keeps index 0).
    // Row 1: 3 literal pixels 2, 3, 1 (padded), a move 1 right and 1 up, then index 2 at
    // x = 4 of row 2, and the end of the picture.
    const std::vector<uint8> rle8 = {4, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 2, 1, 1, 1, 2, 0, 1};
    // The same in RLE4: runs alternate their two nibbles.
    const std::vector<uint8> rle4 = {4, 0x11, 0, 0, 0, 3, 0x23, 0x10, 0, 2, 1, 1, 1, 0x20, 0, 1};
    const uint8 expected[3][6] = {{0, 0, 0, 0, 2, 0}, {2, 3, 1, 0, 0, 0}, {1, 1, 1, 1, 0, 0}};
    for (auto [compression, bits, data] :
         {std::tuple{1u, uint16(8), rle8}, std::tuple{2u, uint16(4), rle4}}) {
        SCOPED_TRACE(bits);
        auto image = DecodeOK(fTranslator,
                              BuildBMP({40, bits, compression, false, {}, palette}, 6, 3, data));
        ASSERT_TRUE(image);
        for (uint32 y = 0; y < 3; y++) {
            for (uint32 x = 0; x < 6; x++) {
                uint32 c = palette[expected[y][x]];
                const uint8* p = Pixel(*image, x, y);
                EXPECT_EQ(p[0] | (p[1] << 8) | (p[2] << 16), int(c)) << x << "," << y;
            }
        }
    }
    // Runs past the row end, moves past the picture and codes after the last row are
    // dropped, not written outside the bitmap.
    const std::vector<uint8> wild = {255, 1, 0, 2, 255, 0, 0, 2, 0, 255, 9, 9, 9, 9};
    EXPECT_TRUE(DecodeOK(fTranslator, BuildBMP({40, 8, 1, false, {}, palette}, 6, 3, wild)));
}

TEST_F(BMPTranslatorTest, FilesOfImageMagickDecodeToTheirSource) {
    ORV_NEED_PROGRAMS("convert");
    using enum PatternAlpha;
    const Samples colours = PatternPicture(3, 255, 851, kNone);
    const Samples translucent = PatternPicture(4, 255, 851, kEveryLevel);
    const Samples few[3] = {PatternPicture(3, 255, 200, kNone), PatternPicture(3, 255, 16, kNone),
                            PatternPicture(3, 255, 2, kNone)};
    const std::vector<std::string> palette = {"-type", "Palette", "-compress", "None",
                                              "BMP3:made.bmp"};
    const std::vector<std::string> rle = {"-type", "Palette", "-compress", "RLE", "BMP3:made.bmp"};
    const auto sixteen = [](const char* subtype) -> std::vector<std::string> {
        return {"-define", std::string("bmp:subtype=") + subtype, "BMP:made.bmp"};
    };
    struct Case {
        const char* name;
        Samples source;
        std::vector<std::string> options;  // for ImageMagick, ending in the format it writes
        Layout made;    // the header's size, bits a pixel and compression the file must have
        int tolerance;  // ImageMagick keeps the top 5 or 6 bits of a sample in 16 bits
    };
    const Case cases[] = {
        {"24-bit", colours, {"BMP3:made.bmp"}, {40, 24, 0}, 0},
        {"32-bit with alpha", translucent, {"BMP:made.bmp"}, {124, 32, 3}, 0},
        {"16-bit 5-6-5", colours, sixteen("RGB565"), {124, 16, 3}, 8},
        {"16-bit 5-5-5", colours, sixteen("RGB555"), {124, 16, 3}, 8},
        {"8-bit palette", few[0], palette, {40, 8, 0}, 0},
        {"8-bit palette, run-length coded", few[0], rle, {40, 8, 1}, 0},
        {"4-bit palette", few[1], palette, {40, 4, 0}, 0},
        {"1-bit palette", few[2], palette, {40, 1, 0}, 0},
        {"OS/2 24-bit", colours, {"BMP2:made.bmp"}, {12, 24, 0}, 0},
    };
    ForeignFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(files.Convert(c.source, c.options));
        const std::vector<uint8> bmp = files.Read("made.bmp");
        ASSERT_GT(bmp.size(), 54u);
        const bool os2 = c.made.headerSize == 12;
        EXPECT_EQ(ReadLE(bmp, 14, 4), c.made.headerSize);
        EXPECT_EQ(ReadLE(bmp, os2 ? 24 : 28, 2), c.made.bits);
        EXPECT_EQ(os2 ? 0u : ReadLE(bmp, 30, 4), c.made.compression);

        ExpectDecodesTo(fTranslator, bmp, c.source, c.tolerance);
    }
}

TEST_F(BMPTranslatorTest, MatchesTheCorpusReferences) {
    ORV_NEED_CORPUS();
    for (const char* name : {"peak", "lossless_color_transform"}) {
        auto image =
            DecodeOK(fTranslator, ReadFile(CorpusPath(std::string("webp/") + name + ".bmp")));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->ColorSpace(), B_RGB32);
        ExpectMatchesNetpbm(*image, CorpusPath(std::string("webp/") + name + ".ppm"));
    }
    auto grid = DecodeOK(fTranslator, ReadFile(CorpusPath("webp/grid.bmp")));
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->ColorSpace(), B_RGBA32);
    ExpectMatchesNetpbm(*grid, CorpusPath("webp/grid.pam"));

    auto bird = DecodeOK(fTranslator, ReadFile(CorpusPath("jpeg/shira_bird8.bmp")));
    ASSERT_TRUE(bird);
    EXPECT_EQ(bird->PixelWidth(), 192u);
    EXPECT_EQ(bird->PixelHeight(), 144u);
}

TEST_F(BMPTranslatorTest, WritesOpaqueAs24BitAndTransparencyAsV4) {
    for (bool alpha : {false, true}) {
        auto image = MakeTestImage(33, 17, alpha);
        std::vector<uint8> bytes = Encode(fTranslator, *image, kBMP);
        ASSERT_GT(bytes.size(), 54u);
        EXPECT_EQ(bytes[14], alpha ? 108 : 40);
        EXPECT_EQ(bytes[28], alpha ? 32 : 24);
        EXPECT_EQ(bytes.size(), alpha ? 14 + 108 + 33 * 4 * 17u : 14 + 40 + 100 * 17u);
        auto back = DecodeOK(fTranslator, bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->ColorSpace(), alpha ? B_RGBA32 : B_RGB32);
        ExpectSamePixels(*image, *back);
    }
}

TEST_F(BMPTranslatorTest, FlattensOntoWhiteWhenAsked) {
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(NewImage(4, 1, true, &image), B_OK);
    const uint8 pixels[16] = {0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 128, 200, 100, 50, 255};
    std::memcpy(image->Bits(), pixels, 16);
    ASSERT_EQ(fTranslator.Settings().Set("flatten_alpha", 1), B_OK);
    std::vector<uint8> bytes = Encode(fTranslator, *image, kBMP);
    EXPECT_EQ(bytes[28], 24);
    auto back = DecodeOK(fTranslator, bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ColorSpace(), B_RGB32);
    EXPECT_EQ(Pixel(*back, 0, 0)[0], 255);  // transparent becomes white
    EXPECT_EQ(Pixel(*back, 1, 0)[2], 255);  // opaque red stays red
    EXPECT_EQ(Pixel(*back, 1, 0)[0], 0);
    EXPECT_NEAR(Pixel(*back, 2, 0)[1], 127, 1);  // half-transparent black is mid grey
    EXPECT_EQ(Pixel(*back, 3, 0)[0], 200);
}

TEST_F(BMPTranslatorTest, RefusesDamagedAndHostileFiles) {
    auto image = MakeTestImage(32, 20, true);
    ExpectTruncationsRefused(fTranslator, Encode(fTranslator, *image, kBMP));
    const std::vector<uint32> palette = {0x000000, 0xff0000};
    ExpectTruncationsRefused(fTranslator, BuildBMP({40, 8, 1, false, {}, palette}, 6, 3,
                                                   {6, 1, 0, 0, 6, 1, 0, 0, 6, 1, 0, 1}));

    const std::vector<uint8> small(16, 0);
    struct Hostile {
        const char* name;
        std::vector<uint8> file;
    };
    const Hostile hostile[] = {
        {"60000 x 60000", BuildBMP({40, 24}, 60000, 60000, small)},
        {"negative width", BuildBMP({40, 24}, -4, 4, small)},
        {"most negative height", BuildBMP({40, 24}, 4, INT32_MIN, small)},
        {"top-down RLE", BuildBMP({40, 8, 1, true, {}, palette}, 4, 4, small)},
        {"gapped mask", BuildBMP({40, 16, 3, false, {0xf0f0, 0x0f00, 0x000f}}, 2, 2, small)},
        {"RLE depth", BuildBMP({40, 24, 1}, 2, 2, small)},
        {"embedded JPEG", BuildBMP({40, 0, 4}, 2, 2, small)},
        {"palette past the end", BuildBMP({40, 8, 0, false, {}, {}, 256}, 2, 2, {})},
    };
    for (const Hostile& h : hostile) {
        ExpectRefused(fTranslator, h.file, h.name);
    }
}

TEST(BMPAddOnTest, ConvertsThroughTheRoster) {
    ExpectAddOnRoundTrip("bmp", FourCC("BMP "), *MakeTestImage(29, 19, true));
}

}  // namespace
}  // namespace orv::test
