// SPDX-License-Identifier: MIT
// OrvImage::Scale: how the typed texts choose the size, the sizes refused, and what the
// resampled picture holds.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "tests/scaling/ScalingTestUtil.h"

namespace orv::test {
namespace {

struct SizeCase {
    uint32 sourceWidth;
    uint32 sourceHeight;
    const char* widthText;
    const char* heightText;
    bool keepRatio;
    uint32 width;
    uint32 height;
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.sourceWidth << "x" << c.sourceHeight << " \"" << c.widthText << "\" \"" << c.heightText
        << "\"" << (c.keepRatio ? " kept" : "");
}

class ScaleSize : public testing::TestWithParam<SizeCase> {};

TEST_P(ScaleSize, ChoosesTheSizeFromTheTexts) {
    const SizeCase& c = GetParam();
    auto source = MakeImage(c.sourceWidth, c.sourceHeight, B_RGB32,
                            [](uint32, uint32) { return 0xff336699u; });
    auto result = source->Scale(c.widthText, c.heightText, c.keepRatio);
    ASSERT_NE(result, nullptr) << ErrorReason();
    EXPECT_EQ(result->Bounds(), BRect(0, 0, float(c.width) - 1, float(c.height) - 1));
    EXPECT_EQ(result->ColorSpace(), B_RGB32);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ScaleSize,
    testing::Values(
        // Keeping the proportions, the width wins and the typed height is not consulted.
        SizeCase{400, 300, "200", "50", true, 200, 150},
        SizeCase{400, 300, "", "150", true, 200, 150},
        SizeCase{400, 300, "0", "150", true, 200, 150},
        SizeCase{400, 300, "333", "", true, 333, 249},  // 249.75 truncated
        SizeCase{400, 300, "200", "-5", true, 200, 150},
        SizeCase{300, 400, "", "333", true, 249, 333},
        // Each side on its own.
        SizeCase{400, 300, "200", "", false, 200, 300},
        SizeCase{400, 300, "", "10", false, 400, 10}, SizeCase{400, 300, "50", "60", false, 50, 60},
        // Nothing usable typed: the source's own size.
        SizeCase{400, 300, "abc", "0", true, 400, 300},
        SizeCase{400, 300, "abc", "0", false, 400, 300},
        SizeCase{400, 300, "", "", false, 400, 300}, SizeCase{400, 300, "-0", "", true, 400, 300},
        // strtol's reading: trailing text ignored, blanks and a sign taken.
        SizeCase{400, 300, "12px", "", false, 12, 300},
        SizeCase{400, 300, "  64", "", false, 64, 300},
        SizeCase{400, 300, "+64", "", false, 64, 300},
        SizeCase{400, 300, "\t\n 7 8", "", false, 7, 300},
        SizeCase{400, 300, "1e3", "", false, 1, 300},
        SizeCase{400, 300, "0x20", "", false, 400, 300},
        // A side the proportions shrink to nothing keeps one pixel.
        SizeCase{1000, 100, "7", "", true, 7, 1}, SizeCase{400, 300, "1e3", "", true, 1, 1},
        SizeCase{100, 1000, "", "7", true, 1, 7},
        // The largest side a bitmap may have.
        SizeCase{4096, 1, "65535", "", true, 65535, 15}, SizeCase{7, 3, "14", "", true, 14, 6}));

TEST(ScaleSize, SourceBoundsNeedNotStartAtTheOrigin) {
    auto source =
        MakeImage(BRect(10, 20, 409, 319), B_RGB32, [](uint32, uint32) { return 0xff000000u; });
    auto result = source->Scale("200", "", true);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->Bounds(), BRect(0, 0, 199, 149));
}

struct RefusedCase {
    const char* widthText;
    const char* heightText;
    bool keepRatio;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << "\"" << c.widthText << "\" \"" << c.heightText << "\"" << (c.keepRatio ? " kept" : "");
}

class ScaleRefused : public testing::TestWithParam<RefusedCase> {};

// Read as unsigned sizes these would ask for huge bitmaps; the file fails with a reason.
TEST_P(ScaleRefused, FailsWithAReason) {
    const RefusedCase& c = GetParam();
    auto source = MakeImage(400, 300, B_RGB32, [](uint32, uint32) { return 0xffffffffu; });
    ClearErrorReason();
    EXPECT_EQ(source->Scale(c.widthText, c.heightText, c.keepRatio), nullptr);
    EXPECT_FALSE(ErrorReason().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ScaleRefused,
    testing::Values(RefusedCase{"-5", "", true}, RefusedCase{"", "-5", true},
                    RefusedCase{"-1", "", false}, RefusedCase{"", "-300", false},
                    RefusedCase{"70000", "", false}, RefusedCase{"", "65536", true},
                    RefusedCase{"99999999999999999999999", "", false},
                    RefusedCase{"-99999999999999999999999", "", true},
                    // 65535 wide keeps 49151 high: more pixels than any bitmap may hold.
                    RefusedCase{"65535", "", true},
                    // The width follows from the height beyond the largest side.
                    RefusedCase{"", "65535", true}));

TEST(ScaleRefused, NumericSizesABitmapCannotHave) {
    auto source = MakeImage(4, 4, B_RGB32, [](uint32, uint32) { return 0xffffffffu; });
    for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{
             {0, 5}, {5, 0}, {65536, 1}, {1, 4294967295u}, {20000, 20000}}) {
        ClearErrorReason();
        EXPECT_EQ(source->Scale(w, h), nullptr) << w << " x " << h;
        EXPECT_FALSE(ErrorReason().empty());
    }
}

TEST(ScaleRefused, PictureWithoutPixelsOrOfAnotherSpace) {
    OrvImage empty(BRect(), B_RGB32);
    EXPECT_EQ(empty.Scale("10", "", true), nullptr);
    EXPECT_EQ(empty.Scale("", "", false), nullptr);

    OrvImage grey(BRect(0, 0, 9, 9), B_GRAY8);
    ClearErrorReason();
    EXPECT_EQ(grey.Scale(5, 5), nullptr);
    EXPECT_FALSE(ErrorReason().empty());
}

TEST(ScaleResult, IsANewImageWithNoViewLeftAndTheSourceUntouched) {
    auto source = MakeImage(BRect(5, 5, 36, 28), B_RGBA32, [](uint32 x, uint32 y) {
        return Argb(uint8(x * 8), uint8(y * 10), uint8(x + y), 200);
    });
    std::vector<uint8> before(static_cast<const uint8*>(source->Bits()),
                              static_cast<const uint8*>(source->Bits()) + source->BitsLength());
    auto result = source->Scale(50, 10);
    ASSERT_NE(result, nullptr);
    EXPECT_NE(result.get(), source.get());
    EXPECT_EQ(result->CountChildren(), 0);
    EXPECT_FALSE(result->IsLocked());
    EXPECT_EQ(result->ColorSpace(), B_RGBA32);
    EXPECT_EQ(0, std::memcmp(before.data(), source->Bits(), before.size()));
}

// A flat colour stays exactly that colour at any size: no rounding drift, no darkened or
// transparent edges. A translucent colour too, even averaged over a 600 x 600 picture.
TEST(ScaleResult, FlatColourStaysExact) {
    for (color_space space : {B_RGB32, B_RGBA32, B_RGB32_BIG, B_RGBA32_BIG}) {
        const bool alpha = space == B_RGBA32 || space == B_RGBA32_BIG;
        const uint32 colour = Argb(alpha ? 77 : 255, 12, 200, 255);
        auto source = MakeImage(37, 23, space, [&](uint32, uint32) { return colour; });
        for (auto [w, h] :
             std::vector<std::pair<uint32, uint32>>{{5, 3}, {37, 23}, {100, 61}, {1, 1}, {74, 5}}) {
            auto result = source->Scale(w, h);
            ASSERT_NE(result, nullptr);
            for (uint32 y = 0; y < h; y++) {
                for (uint32 x = 0; x < w; x++) {
                    ASSERT_EQ(PixelAt(*result, x, y), colour)
                        << "space " << space << " size " << w << "x" << h << " at " << x << ","
                        << y;
                }
            }
        }
        auto large = MakeImage(600, 600, space, [&](uint32, uint32) { return colour; });
        for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{{1, 1}, {2, 3}}) {
            auto result = large->Scale(w, h);
            ASSERT_NE(result, nullptr);
            EXPECT_EQ(PixelAt(*result, w - 1, h - 1), colour) << "space " << space;
        }
    }
}

// In B_RGB32 the fourth byte is no alpha: a source whose fourth bytes are 0 (as the grey
// filter leaves them) still scales as opaque, and the result says so with 255.
TEST(ScaleResult, FourthByteOfRGB32IsNotAlpha) {
    auto source = MakeImage(16, 16, B_RGB32,
                            [](uint32 x, uint32) { return Argb(0, uint8(x * 16), 100, 50); });
    for (auto [w, h] : std::vector<std::pair<uint32, uint32>>{{16, 16}, {8, 8}, {40, 3}}) {
        auto result = source->Scale(w, h);
        ASSERT_NE(result, nullptr);
        for (uint32 y = 0; y < h; y++) {
            for (uint32 x = 0; x < w; x++) {
                const uint32 p = PixelAt(*result, x, y);
                ASSERT_EQ(Alpha(p), 255);
                ASSERT_EQ(Green(p), 100);
                ASSERT_EQ(Blue(p), 50);
            }
        }
    }
}

// Same size, same pixels: the result is an exact copy (alpha included).
TEST(ScaleResult, SameSizeCopiesExactly) {
    auto source = MakeImage(13, 7, B_RGBA32, [](uint32 x, uint32 y) {
        return Argb(uint8(x * 19), uint8(x * 7 + y), uint8(y * 30), uint8(x ^ y));
    });
    auto result = source->Scale("", "", true);
    ASSERT_NE(result, nullptr);
    for (uint32 y = 0; y < 7; y++) {
        for (uint32 x = 0; x < 13; x++) {
            ASSERT_EQ(PixelAt(*result, x, y), PixelAt(*source, x, y)) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace orv::test
