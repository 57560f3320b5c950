// SPDX-License-Identifier: MIT
#include "translators/tga/TGATranslator.h"

#include <functional>

#include "tests/translators/common/CodecTestSupport.h"

namespace orv::test {
namespace {

constexpr uint32 kTGA = FourCC("TGA ");

// A 5 × 3 picture with a uniform stretch that runs from the end of row 1 into row 2, so
// run-length packets cross a row boundary. Colours are multiples of 8 plus their top bits,
// so 15/16-bit files hold them exactly.
std::unique_ptr<BBitmap> Picture(bool alpha) {
    static const uint8 colours[15][4] = {
        {0, 0, 255, 255},     {0, 255, 0, 0},    {255, 0, 0, 255},    {132, 66, 33, 255},
        {255, 255, 255, 0},   {8, 16, 24, 255},  {33, 66, 132, 255},  {74, 74, 74, 255},
        {74, 74, 74, 255},    {74, 74, 74, 255}, {74, 74, 74, 255},   {74, 74, 74, 255},
        {189, 206, 222, 255}, {0, 0, 0, 255},    {255, 255, 255, 255}};
    std::unique_ptr<BBitmap> image;
    EXPECT_EQ(NewImage(5, 3, alpha, &image), B_OK);
    for (uint32 i = 0; i < 15; i++) {
        uint8* p = MutablePixel(*image, i % 5, i / 5);
        std::memcpy(p, colours[i], 4);
        if (!alpha) {
            p[3] = 255;
        }
    }
    return image;
}

using PixelWriter = std::function<void(const uint8* bgra, std::vector<uint8>* out)>;

// A TGA file of `picture`, its pixels stored in the order the descriptor's origin bits say,
// each written by `put`; with `rle`, packed into packets of at most 4 pixels that ignore
// row ends.
std::vector<uint8> BuildTGA(const BBitmap& picture, uint8 type, uint8 bits, uint8 descriptor,
                            const PixelWriter& put, const std::vector<uint8>& colourMap = {},
                            uint8 mapEntryBits = 0, uint16 mapFirst = 0) {
    const uint32 w = picture.PixelWidth(), h = picture.PixelHeight();
    const uint16 mapLength = mapEntryBits ? uint16(colourMap.size() / ((mapEntryBits + 7) / 8)) : 0;
    const uint8 header[] = {3,  // id length
                            uint8(mapLength ? 1 : 0),
                            type,
                            uint8(mapFirst),
                            uint8(mapFirst >> 8),
                            uint8(mapLength),
                            uint8(mapLength >> 8),
                            mapEntryBits,
                            0,
                            0,
                            0,
                            0,
                            uint8(w),
                            uint8(w >> 8),
                            uint8(h),
                            uint8(h >> 8),
                            bits,
                            descriptor,
                            'I',
                            'D',
                            '!'};
    std::vector<uint8> file;
    file.reserve(sizeof(header) + colourMap.size() + size_t(w) * h * 5);
    file.insert(file.end(), std::begin(header), std::end(header));
    file.insert(file.end(), colourMap.begin(), colourMap.end());
    std::vector<std::vector<uint8>> pixels;
    for (uint32 r = 0; r < h; r++) {
        for (uint32 i = 0; i < w; i++) {
            uint32 y = (descriptor & 0x20) ? r : h - 1 - r;
            uint32 x = (descriptor & 0x10) ? w - 1 - i : i;
            std::vector<uint8> one;
            put(Pixel(picture, x, y), &one);
            pixels.push_back(one);
        }
    }
    if (!(type & 8)) {
        for (auto& p : pixels) {
            file.insert(file.end(), p.begin(), p.end());
        }
        return file;
    }
    for (size_t i = 0; i < pixels.size();) {
        size_t run = 1;
        while (i + run < pixels.size() && run < 4 && pixels[i + run] == pixels[i]) {
            run++;
        }
        if (run > 1) {
            file.push_back(uint8(0x80 | (run - 1)));
            file.insert(file.end(), pixels[i].begin(), pixels[i].end());
        } else {
            run = std::min<size_t>(3, pixels.size() - i);
            file.push_back(uint8(run - 1));
            for (size_t k = 0; k < run; k++) {
                file.insert(file.end(), pixels[i + k].begin(), pixels[i + k].end());
            }
        }
        i += run;
    }
    return file;
}

void PutBGR(const uint8* p, std::vector<uint8>* out) {
    out->insert(out->end(), p, p + 3);
}
void PutBGRA(const uint8* p, std::vector<uint8>* out) {
    out->insert(out->end(), p, p + 4);
}
void PutGrey(const uint8* p, std::vector<uint8>* out) {
    out->push_back(p[0]);
}
void Put16(const uint8* p, std::vector<uint8>* out) {
    uint32 v = (p[3] >= 128 ? 0x8000 : 0) | ((p[2] >> 3) << 10) | ((p[1] >> 3) << 5) | (p[0] >> 3);
    out->push_back(uint8(v));
    out->push_back(uint8(v >> 8));
}

class TGATranslatorTest : public ::testing::Test {
protected:
    void TearDown() override { RestoreDefaults(fTranslator); }

    TGATranslator fTranslator;
};

TEST_F(TGATranslatorTest, DecodesEveryOriginAndTrueColourDepth) {
    struct Case {
        const char* name;
        uint8 type;
        uint8 bits;
        uint8 descriptor;
        PixelWriter put;
        bool alpha;
    };
    const Case cases[] = {
        {"24 bottom-left", 2, 24, 0x00, PutBGR, false},
        {"24 top-left", 2, 24, 0x20, PutBGR, false},
        {"24 bottom-right", 2, 24, 0x10, PutBGR, false},
        {"24 top-right", 2, 24, 0x30, PutBGR, false},
        {"32 with alpha", 2, 32, 0x28, PutBGRA, true},
        {"32 alpha bits zero", 2, 32, 0x20, PutBGRA, false},
        {"16 with alpha bit", 2, 16, 0x01, Put16, true},
        {"15", 2, 15, 0x00, Put16, false},
        {"RLE 24 top-right", 10, 24, 0x30, PutBGR, false},
        {"RLE 32 with alpha", 10, 32, 0x08, PutBGRA, true},
        {"RLE 16", 10, 16, 0x20, Put16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto picture = Picture(c.alpha);
        auto image = DecodeOK(fTranslator, BuildTGA(*picture, c.type, c.bits, c.descriptor, c.put));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->ColorSpace(), c.alpha ? B_RGBA32 : B_RGB32);
        ExpectSamePixels(*picture, *image);
    }
}

TEST_F(TGATranslatorTest, DecodesGreyAndColourMaps) {
    auto picture = Picture(false);
    // Grey: the blue byte of each pixel, as grey.
    std::unique_ptr<BBitmap> grey;
    ASSERT_EQ(NewImage(5, 3, false, &grey), B_OK);
    for (uint32 y = 0; y < 3; y++) {
        for (uint32 x = 0; x < 5; x++) {
            uint8* p = MutablePixel(*grey, x, y);
            p[0] = p[1] = p[2] = Pixel(*picture, x, y)[0];
            p[3] = 255;
        }
    }
    for (uint8 type : {3, 11}) {
        auto image = DecodeOK(fTranslator, BuildTGA(*grey, type, 8, 0x20, PutGrey));
        ASSERT_TRUE(image);
        ExpectSamePixels(*grey, *image);
    }

    // A colour map of the picture's distinct colours, starting at index 5.
    std::vector<std::vector<uint8>> entries;
    for (uint32 i = 0; i < 15; i++) {
        const uint8* p = Pixel(*picture, i % 5, i / 5);
        std::vector<uint8> bgr(p, p + 3);
        if (std::find(entries.begin(), entries.end(), bgr) == entries.end()) {
            entries.push_back(bgr);
        }
    }
    std::vector<uint8> map;
    for (auto& e : entries) {
        map.insert(map.end(), e.begin(), e.end());
    }
    PixelWriter index = [&](const uint8* p, std::vector<uint8>* out) {
        std::vector<uint8> bgr(p, p + 3);
        out->push_back(
            uint8(5 + (std::find(entries.begin(), entries.end(), bgr) - entries.begin())));
    };
    for (uint8 type : {1, 9}) {
        auto image = DecodeOK(fTranslator, BuildTGA(*picture, type, 8, 0x00, index, map, 24, 5));
        ASSERT_TRUE(image);
        ExpectSamePixels(*picture, *image);
    }
}

TEST_F(TGATranslatorTest, RoundTripIsExactWithAndWithoutRLE) {
    for (bool rle : {true, false}) {
        ASSERT_EQ(fTranslator.Settings().Set("rle", rle), B_OK);
        for (bool alpha : {false, true}) {
            auto image = MakeTestImage(67, 41, alpha);
            std::vector<uint8> bytes = Encode(fTranslator, *image, kTGA);
            ASSERT_GE(bytes.size(), 18u + 26u);
            EXPECT_EQ(bytes[2], rle ? 10 : 2);
            EXPECT_EQ(bytes[16], alpha ? 32 : 24);
            auto back = DecodeOK(fTranslator, bytes);
            ASSERT_TRUE(back);
            EXPECT_EQ(back->ColorSpace(), alpha ? B_RGBA32 : B_RGB32);
            ExpectSamePixels(*image, *back);
        }
    }
}

TEST_F(TGATranslatorTest, RefusesDamagedFilesAndBoundsPackets) {
    auto picture = Picture(true);
    for (uint8 type : {2, 10}) {
        ExpectTruncationsRefused(fTranslator, BuildTGA(*picture, type, 32, 0x28, PutBGRA));
    }

    // One run of 128 pixels for a 15-pixel picture: the rest of the packet is ignored.
    std::vector<uint8> overrun = BuildTGA(*picture, 10, 24, 0x20, PutBGR);
    overrun.resize(18 + 3);
    overrun.insert(overrun.end(), {0xff, 1, 2, 3});
    auto image = DecodeOK(fTranslator, overrun);
    ASSERT_TRUE(image);
    EXPECT_EQ(Pixel(*image, 4, 2)[2], 3);

    std::vector<uint8> huge = BuildTGA(*picture, 10, 24, 0x20, PutBGR);
    huge[12] = huge[14] = 0x60;  // 60000 × 60000
    huge[13] = huge[15] = 0xea;
    ExpectRefused(fTranslator, huge, "60000 x 60000");

    std::vector<uint8> badDepth = BuildTGA(*picture, 2, 24, 0x20, PutBGR);
    badDepth[16] = 12;
    ExpectRefused(fTranslator, badDepth, "12-bit pixels");
    const translation_format* format;
    BMemoryIO source(badDepth.data(), badDepth.size());
    EXPECT_EQ(fTranslator.IdentifyImage(source, &format), B_NO_TRANSLATOR);
}

TEST(TGAAddOnTest, ConvertsThroughTheRoster) {
    ExpectAddOnRoundTrip("tga", FourCC("TGA "), *MakeTestImage(29, 19, true));
}

}  // namespace
}  // namespace orv::test
