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

// A lone bright pixel must still count after an 8:1 reduction, about as much as its share
// of the area; a sampling resampler either loses it or keeps it whole.
TEST(Quality, DownscaleAveragesEverySourcePixel) {
    auto source = MakeImage(8, 8, B_RGB32,
                            [](uint32 x, uint32 y) { return Grey(x == 3 && y == 5 ? 255 : 0); });
    auto result = source->Scale(1, 1);
    ASSERT_NE(result, nullptr);
    EXPECT_GE(Red(PixelAt(*result, 0, 0)), 255.0 / 64 / 2);
    EXPECT_LE(Red(PixelAt(*result, 0, 0)), 255.0 / 64 * 2);

    // Away from the ends, where the filter reaches past the picture, every result pixel
    // holds one bright stripe in four.
    auto stripes =
        MakeImage(64, 8, B_RGB32, [](uint32 x, uint32) { return Grey(x % 4 == 0 ? 255 : 0); });
    result = stripes->Scale(16, 8);
    ASSERT_NE(result, nullptr);
    for (uint32 x = 3; x < 13; x++) {
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
// nothing is mirrored, transposed, or read with the wrong byte order. The quadrants are
// wide enough that the filter reaches no other quadrant from a corner.
TEST(Quality, QuadrantsKeepPlaceAndColour) {
    const uint32 colours[4] = {Argb(255, 255, 0, 0), Argb(255, 0, 255, 0), Argb(255, 0, 0, 255),
                               Argb(255, 250, 240, 10)};
    for (color_space space : kAllSpaces) {
        auto source = MakeImage(80, 120, space, [&](uint32 x, uint32 y) {
            return colours[(y >= 60 ? 2 : 0) + (x >= 40 ? 1 : 0)];
        });
        for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{{200, 300}, {20, 30}, {41, 27}}) {
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
            // Clear and opaque were mixed, so the test above saw blended pixels.
            EXPECT_TRUE(sawPartial);
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

// Resampled premultiplied, the opaque parts of a translucent picture must come back exactly
// opaque and exactly their colour (no 255 turned into 254), wherever the filter does not
// reach the clear column: 3 source pixels each way, times the ratio when shrinking.
TEST(Quality, OpaquePartsOfATranslucentPictureStayOpaque) {
    auto source = MakeImage(37, 23, B_RGBA32, [](uint32 x, uint32) {
        return x == 0 ? Argb(0, 0, 0, 0) : Argb(255, 12, 200, 77);
    });
    for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{
             {100, 61}, {40, 99}, {70, 113}, {20, 11}, {300, 5}}) {
        auto result = source->Scale(w, h);
        ASSERT_NE(result, nullptr);
        const double ratio = 37.0 / w;
        const double reach = 3 * std::max(ratio, 1.0);
        for (uint32 y = 0; y < h; y++) {
            for (uint32 x = 0; x < w; x++) {
                if ((x + 0.5) * ratio < 1 + reach) {
                    continue;
                }
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

// A zone plate, cos(pi r^2 / size), sweeps every frequency up to the finest a picture can
// hold. Downscaled, the frequencies too fine for the result must fade to grey rather than
// come back as coarse rings (moiré): the result stays close to Lanczos-3 computed here in
// double precision, straight in two dimensions, pixel by pixel. An area average is about
// 0.047 away from it; the bounds leave room for rounding and for the box that averages
// whole source pixels first at large ratios.
double Lanczos3(double x) {
    x = std::fabs(x);
    if (x < 1e-12) {
        return 1;
    }
    return x >= 3 ? 0 : 3 * std::sin(M_PI * x) * std::sin(M_PI * x / 3) / (M_PI * M_PI * x * x);
}

TEST(Quality, ZonePlateShowsNoMoire) {
    constexpr int kSize = 300;
    std::vector<double> levels(kSize * kSize);
    for (int y = 0; y < kSize; y++) {
        for (int x = 0; x < kSize; x++) {
            const double dx = x + 0.5 - kSize / 2.0, dy = y + 0.5 - kSize / 2.0;
            levels[size_t(y) * kSize + size_t(x)] =
                std::round(127.5 + 127.5 * std::cos(M_PI * (dx * dx + dy * dy) / kSize));
        }
    }
    auto zone = MakeImage(kSize, kSize, B_RGB32, [&](uint32 x, uint32 y) {
        return Grey(uint8(levels[size_t(y) * kSize + x]));
    });
    for (auto [side, bound] :
         std::vector<std::pair<int, double>>{{75, 0.01}, {107, 0.01}, {50, 0.03}}) {
        auto result = zone->Scale(uint32(side), uint32(side));
        ASSERT_NE(result, nullptr);
        const double ratio = double(kSize) / side;
        const int reach = int(std::ceil(3 * ratio));
        double squares = 0;
        int count = 0;
        // The 3 pixels along each edge depend on how the picture is extended; they do not
        // count.
        for (int y = 3; y < side - 3; y++) {
            for (int x = 3; x < side - 3; x++) {
                const double cx = (x + 0.5) * ratio, cy = (y + 0.5) * ratio;
                double sum = 0, weights = 0;
                for (int sy = int(cy) - reach; sy <= int(cy) + reach; sy++) {
                    for (int sx = int(cx) - reach; sx <= int(cx) + reach; sx++) {
                        const double w =
                            Lanczos3((sx + 0.5 - cx) / ratio) * Lanczos3((sy + 0.5 - cy) / ratio);
                        sum += w * levels[size_t(sy) * kSize + size_t(sx)];
                        weights += w;
                    }
                }
                const double d = (Red(PixelAt(*result, x, y)) - sum / weights) / 255;
                squares += d * d;
                count++;
            }
        }
        const double rmse = std::sqrt(squares / count);
        EXPECT_LT(rmse, bound) << kSize << " -> " << side;
    }
}

}  // namespace
}  // namespace orv::test
