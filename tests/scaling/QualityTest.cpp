// SPDX-License-Identifier: MIT
// What the resampling must get right: downscales average (no aliasing), upscales
// interpolate, alpha is resampled premultiplied, and nothing moves, flips or swaps bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/scaling/ScalingTestUtil.h"

namespace orv::test {
namespace {

constexpr color_space kAllSpaces[] = {B_RGB32, B_RGBA32, B_RGB32_BIG, B_RGBA32_BIG};

uint32 Grey(uint8 level) {
    return Argb(255, level, level, level);
}

TEST(Quality, HalvedCheckerboardIsUniformGrey) {
    for (color_space space : kAllSpaces) {
        auto board = MakeImage(64, 64, space,
                               [](uint32 x, uint32 y) { return Grey((x + y) % 2 ? 255 : 0); });
        for (uint32 side : {32u, 16u}) {
            auto result = board->Scale(side, side);
            ASSERT_NE(result, nullptr);
            for (uint32 y = 0; y < side; y++) {
                for (uint32 x = 0; x < side; x++) {
                    const uint32 p = PixelAt(*result, x, y);
                    ASSERT_NEAR(Red(p), 127.5, 1.5) << "space " << space << " at " << x << "," << y;
                    ASSERT_EQ(Red(p), Green(p));
                    ASSERT_EQ(Red(p), Blue(p));
                    ASSERT_EQ(Alpha(p), 255);
                }
            }
        }
    }
}

// A lone bright pixel must still count after an 8:1 reduction; a sampling resampler
// either loses it or keeps it whole.
TEST(Quality, DownscaleAveragesEverySourcePixel) {
    auto source = MakeImage(8, 8, B_RGB32,
                            [](uint32 x, uint32 y) { return Grey(x == 3 && y == 5 ? 255 : 0); });
    auto result = source->Scale(1, 1);
    ASSERT_NE(result, nullptr);
    EXPECT_NEAR(Red(PixelAt(*result, 0, 0)), 255.0 / 64, 1.0);

    auto stripes =
        MakeImage(64, 8, B_RGB32, [](uint32 x, uint32) { return Grey(x % 4 == 0 ? 255 : 0); });
    result = stripes->Scale(16, 8);
    ASSERT_NE(result, nullptr);
    for (uint32 x = 0; x < 16; x++) {
        EXPECT_NEAR(Red(PixelAt(*result, x, 4)), 255.0 / 4, 1.5) << x;
    }
}

TEST(Quality, UpscaleInterpolates) {
    auto source = MakeImage(2, 2, B_RGB32, [](uint32 x, uint32) { return Grey(x ? 255 : 0); });
    auto result = source->Scale(16, 4);
    ASSERT_NE(result, nullptr);
    std::vector<int> row;
    for (uint32 x = 0; x < 16; x++) {
        row.push_back(Red(PixelAt(*result, x, 1)));
    }
    EXPECT_TRUE(std::is_sorted(row.begin(), row.end()));
    EXPECT_LE(row.front(), 10);
    EXPECT_GE(row.back(), 245);
    // Nearest-neighbour would give only 0 and 255.
    const auto between =
        std::count_if(row.begin(), row.end(), [](int v) { return v > 20 && v < 235; });
    EXPECT_GE(between, 4);
}

// Four quadrants of four colours keep their places and their colours in every space:
// nothing is mirrored, transposed, or read with the wrong byte order.
TEST(Quality, QuadrantsKeepPlaceAndColour) {
    const uint32 colours[4] = {Argb(255, 255, 0, 0), Argb(255, 0, 255, 0), Argb(255, 0, 0, 255),
                               Argb(255, 250, 240, 10)};
    for (color_space space : kAllSpaces) {
        auto source = MakeImage(4, 6, space, [&](uint32 x, uint32 y) {
            return colours[(y >= 3 ? 2 : 0) + (x >= 2 ? 1 : 0)];
        });
        for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{{40, 60}, {2, 2}, {41, 7}}) {
            auto result = source->Scale(w, h);
            ASSERT_NE(result, nullptr);
            EXPECT_EQ(PixelAt(*result, 0, 0), colours[0]) << space;
            EXPECT_EQ(PixelAt(*result, w - 1, 0), colours[1]) << space;
            EXPECT_EQ(PixelAt(*result, 0, h - 1), colours[2]) << space;
            EXPECT_EQ(PixelAt(*result, w - 1, h - 1), colours[3]) << space;
        }
    }
}

// Transparent pixels keep whatever colour they had; it must not bleed into the visible
// pixels next to them.
TEST(Quality, AlphaIsResampledPremultiplied) {
    for (color_space space : {B_RGBA32, B_RGBA32_BIG}) {
        auto source = MakeImage(30, 30, space, [](uint32 x, uint32) {
            return (x / 3) % 2 ? Argb(255, 0, 200, 0) : Argb(0, 255, 0, 255);
        });
        // 30 to 10 lines the stripes up with whole result pixels; the others mix them.
        for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{{10, 10}, {7, 13}, {95, 61}}) {
            auto result = source->Scale(w, h);
            ASSERT_NE(result, nullptr);
            bool sawPartial = false;
            for (uint32 y = 0; y < h; y++) {
                for (uint32 x = 0; x < w; x++) {
                    const uint32 p = PixelAt(*result, x, y);
                    if (Alpha(p) == 0) {
                        continue;
                    }
                    sawPartial |= Alpha(p) < 255;
                    ASSERT_EQ(Red(p), 0) << space << " " << w << "x" << h << " at " << x;
                    ASSERT_EQ(Blue(p), 0) << space << " " << w << "x" << h << " at " << x;
                    ASSERT_NEAR(Green(p), 200, 2);
                }
            }
            EXPECT_EQ(sawPartial, w != 10);
        }
    }

    // Halving an alternation of clear and opaque gives half-covered pixels of the opaque
    // colour.
    auto halves = MakeImage(2, 2, B_RGBA32, [](uint32 x, uint32) {
        return x ? Argb(255, 10, 20, 30) : Argb(0, 255, 255, 255);
    });
    auto result = halves->Scale(1, 1);
    ASSERT_NE(result, nullptr);
    const uint32 p = PixelAt(*result, 0, 0);
    EXPECT_NEAR(Alpha(p), 127.5, 1.5);
    EXPECT_NEAR(Red(p), 10, 2);
    EXPECT_NEAR(Green(p), 20, 2);
    EXPECT_NEAR(Blue(p), 30, 2);
}

// Qt's 8-bit premultiplied scaling turns 255 into 254 for some sizes; the opaque parts of
// a translucent picture must stay exactly opaque all the same.
TEST(Quality, OpaquePartsOfATranslucentPictureStayOpaque) {
    auto source = MakeImage(37, 23, B_RGBA32, [](uint32 x, uint32) {
        return x == 0 ? Argb(0, 0, 0, 0) : Argb(255, 12, 200, 77);
    });
    for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{
             {100, 61}, {40, 99}, {70, 113}, {20, 11}, {300, 5}}) {
        auto result = source->Scale(w, h);
        ASSERT_NE(result, nullptr);
        for (uint32 y = 0; y < h; y++) {
            for (uint32 x = (w * 3 + 36) / 37; x < w; x++) {
                ASSERT_EQ(PixelAt(*result, x, y), Argb(255, 12, 200, 77))
                    << w << "x" << h << " at " << x << "," << y;
            }
        }
    }
}

// The exact area average of each result pixel, in double precision: a resampler that
// averages must stay close to it at a ratio that is no whole number, and a half-pixel
// shift or a wrong weighting shows up at once.
std::vector<double> AreaAverage(const std::vector<double>& source, uint32 from, uint32 to) {
    std::vector<double> out(to, 0.0);
    const double scale = double(from) / to;
    for (uint32 i = 0; i < to; i++) {
        const double x0 = i * scale;
        const double x1 = (i + 1) * scale;
        for (uint32 s = uint32(x0); s < from && s < x1; s++) {
            const double cover = std::min(x1, s + 1.0) - std::max(x0, double(s));
            out[i] += source[s] * cover / scale;
        }
    }
    return out;
}

TEST(Quality, CloseToTheExactAreaAverage) {
    const uint32 from = 997;
    const uint32 to = 143;
    std::vector<double> levels(from);
    for (uint32 x = 0; x < from; x++) {
        levels[x] = 127.5 + 90 * std::sin(x * 0.05) + 30 * std::sin(x * 0.31);
    }
    auto source = MakeImage(from, 4, B_RGB32,
                            [&](uint32 x, uint32) { return Grey(uint8(std::lround(levels[x]))); });
    std::vector<double> rounded(from);
    for (uint32 x = 0; x < from; x++) {
        rounded[x] = std::lround(levels[x]);
    }
    const std::vector<double> reference = AreaAverage(rounded, from, to);
    auto result = source->Scale(to, 4);
    ASSERT_NE(result, nullptr);
    double squares = 0;
    for (uint32 x = 0; x < to; x++) {
        const double d = Red(PixelAt(*result, x, 2)) - reference[x];
        squares += d * d;
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 / std::max(squares / to, 1e-9));
    EXPECT_GT(psnr, 40.0);
}

}  // namespace
}  // namespace orv::test
