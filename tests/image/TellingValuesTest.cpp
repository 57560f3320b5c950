// SPDX-License-Identifier: MIT
// Single pixels and tiny pictures whose exact results are known by hand: each would show a
// swapped byte, a divisor off by one at an edge, a rounding instead of a truncation, or
// alpha lost (B_RGBA32) or kept (B_RGB32) where it should not be.
#include <gtest/gtest.h>

#include "tests/image/TestImages.h"

namespace {

using orv::test::FromWords;
using orv::test::Words;

using Filter = std::unique_ptr<OrvImage> (*)(const OrvImage&);

struct PixelCase {
    const char* name;
    Filter filter;
    uint32 source;
    uint32 rgb32;   // byte 3 written as for any other byte
    uint32 rgba32;  // byte 3 kept
};

TEST(ColourFilters, TellingPixels) {
    const Filter invert = [](const OrvImage& i) { return i.InvertColors(); };
    const Filter grey = [](const OrvImage& i) { return i.GreyScale(); };
    const PixelCase cases[] = {
        {"negative", invert, 0xFF102030, 0x00EFDFCF, 0xFFEFDFCF},
        {"grey of white", grey, 0xFFFFFFFF, 0x00FFFFFF, 0xFFFFFFFF},
        {"grey of blue", grey, 0xFF0000FF, 0x00555555, 0xFF555555},
        {"grey 2 / 3", grey, 0x80010100, 0x00000000, 0x80000000},  // truncated to 0
        {"grey 7 / 3", grey, 0x80020302, 0x00020202, 0x80020202},  // never rounded up
        {"red-green", [](const OrvImage& i) { return i.Exchange(kSwapRedGreen); }, 0xAA112233,
         0x00221133, 0xAA221133},
        {"green-blue", [](const OrvImage& i) { return i.Exchange(kSwapGreenBlue); }, 0xAA112233,
         0x00113322, 0xAA113322},
        {"blue-red", [](const OrvImage& i) { return i.Exchange(kSwapBlueRed); }, 0xAA112233,
         0x00332211, 0xAA332211},
        {"other mask", [](const OrvImage& i) { return i.Exchange(0); }, 0xAA112233, 0, 0},
    };
    for (const PixelCase& c : cases) {
        for (color_space space : {B_RGB32, B_RGBA32}) {
            SCOPED_TRACE(std::string(c.name) + (space == B_RGBA32 ? " RGBA32" : " RGB32"));
            auto image = FromWords(1, 1, {c.source}, space);
            EXPECT_EQ(Words(*c.filter(*image))[0], space == B_RGBA32 ? c.rgba32 : c.rgb32);
        }
    }
    // The mask itself stays literal in every space: byte 3 follows its bits.
    auto rgba = FromWords(1, 1, {0xFF102030}, B_RGBA32);
    EXPECT_EQ(Words(*rgba->InvertColorsByMask(0xFFFFFFFF))[0], 0x00EFDFCFu);
    EXPECT_EQ(Words(*rgba->InvertColorsByMask(0))[0], 0xFF102030u);
}

// Every sum of the three colour bytes, 0 to 765, truncated by 3.
TEST(ColourFilters, GreyOfEverySum) {
    std::vector<uint32> words;
    for (uint32 sum = 0; sum <= 765; ++sum) {
        const uint32 blue = std::min(sum, 255u);
        const uint32 green = std::min(sum - blue, 255u);
        words.push_back(blue | green << 8 | (sum - blue - green) << 16);
    }
    const auto grey = Words(*FromWords(766, 1, words)->GreyScale());
    for (uint32 sum = 0; sum <= 765; ++sum) {
        EXPECT_EQ(grey[sum], sum / 3 * 0x010101) << sum;
    }
}

TEST(Smoothing, DivisorsAtCentreCornerAndThinImages) {
    std::vector<uint32> centre(25, 0);
    centre[12] = 0xFFFFFFFF;
    const auto smoothed = Words(*FromWords(5, 5, centre)->Smooth());
    EXPECT_EQ(smoothed[12], 0x7F7F7F7Fu);  // 2040 / 16
    for (size_t i : {6, 7, 8, 11, 13, 16, 17, 18}) {
        EXPECT_EQ(smoothed[i], 0x0F0F0F0Fu) << i;  // 255 / 16
    }
    EXPECT_EQ(smoothed[0], 0u);

    std::vector<uint32> corner(25, 0);
    corner[0] = 0xFFFFFFFF;
    const auto cornered = Words(*FromWords(5, 5, corner, B_RGBA32)->Smooth());
    EXPECT_EQ(cornered[0], 0xB9B9B9B9u);  // 2040 / 11
    EXPECT_EQ(cornered[1], 0x13131313u);  // 255 / 13
    EXPECT_EQ(cornered[5], 0x13131313u);
    EXPECT_EQ(cornered[6], 0x0F0F0F0Fu);  // 255 / 16

    EXPECT_EQ(Words(*FromWords(2, 1, {0x90, 0x00})->Smooth()), (std::vector<uint32>{0x80, 0x10}));
    EXPECT_EQ(Words(*FromWords(1, 2, {0x90, 0x00})->Smooth()), (std::vector<uint32>{0x80, 0x10}));
    EXPECT_EQ(Words(*FromWords(1, 1, {0x89ABCDEF})->Smooth()), (std::vector<uint32>{0x89ABCDEF}));
    EXPECT_EQ(FromWords(2, 1, {1, 2}, B_CMAP8)->Smooth(), nullptr);
}

TEST(HandDrawing, GaussianTellingValues) {
    // V, then the grey of types 2 and 3.
    const int values[][3] = {{0, 255, 255}, {1, 254, 240}, {10, 238, 175}, {34, 119, 93},
                             {39, 93, 83},  {85, 2, 31},   {91, 1, 28},    {92, 0, 27},
                             {128, 0, 14},  {170, 0, 6},   {255, 0, 1}};
    for (const auto& v : values) {
        EXPECT_EQ(int(Gaussian(float(v[0]), 2.0f, 39)), v[1]) << v[0];
        EXPECT_EQ(int(Gaussian(float(v[0]), 0.8f, 34)), v[2]) << v[0];
    }
}

// A grey centre of level L among black neighbours has edge strength V = L, among white
// ones V = 255 − L: the centre lighter and darker than its surroundings.
uint32 DrawnCentre(uint32 v, bool darker, int32 strength) {
    std::vector<uint32> words(9, darker ? 0xFFFFFFFF : 0xFF000000);
    words[4] = 0xFF000000 | (darker ? 255 - v : v) * 0x010101;
    return Words(*FromWords(3, 3, words)->HandDrawing(strength))[4];
}

TEST(HandDrawing, EdgeStrengthsBecomeTheirGreyLevels) {
    // V, then the grey of the light, bold and soft strengths (the curves' telling values).
    const uint32 values[][4] = {{0, 255, 255, 255}, {1, 254, 254, 240}, {10, 245, 238, 175},
                                {34, 221, 119, 93}, {39, 216, 93, 83},  {85, 170, 2, 31},
                                {92, 163, 0, 27},   {128, 127, 0, 14},  {255, 0, 0, 1}};
    for (const auto& v : values) {
        for (bool darker : {false, true}) {
            EXPECT_EQ(DrawnCentre(v[0], darker, kDrawingLight), v[1] * 0x010101) << v[0];
            EXPECT_EQ(DrawnCentre(v[0], darker, kDrawingBold), v[2] * 0x010101) << v[0];
            EXPECT_EQ(DrawnCentre(v[0], darker, kDrawingSoft), v[3] * 0x010101) << v[0];
        }
    }
    // Between those, every strength: the light drawing is exactly 255 − V, and no curve
    // ever gets lighter as the edge gets stronger.
    uint32 bold = 255;
    uint32 soft = 255;
    for (uint32 v = 0; v < 256; ++v) {
        EXPECT_EQ(DrawnCentre(v, false, kDrawingLight), (255 - v) * 0x010101) << v;
        const uint32 nextBold = DrawnCentre(v, true, kDrawingBold) & 0xFF;
        const uint32 nextSoft = DrawnCentre(v, false, kDrawingSoft) & 0xFF;
        EXPECT_LE(nextBold, bold) << v;
        EXPECT_LE(nextSoft, soft) << v;
        bold = nextBold;
        soft = nextSoft;
    }
}

}  // namespace
