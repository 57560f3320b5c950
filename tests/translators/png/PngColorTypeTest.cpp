// SPDX-License-Identifier: MIT
// The colour type and bit depth the writer picks: the smallest that holds the picture
// exactly, read back pixel for pixel, and what a colour profile allows.
#include "tests/translators/png/PngTestFiles.h"

namespace orv::test {
namespace {

using Fill = uint32 (*)(uint32 x, uint32 y);

std::unique_ptr<BBitmap> Painted(bool alpha, Fill fill) {
    auto image = NewBitmap(67, 23, alpha);
    for (uint32 y = 0; y < 23; y++) {
        for (uint32 x = 0; x < 67; x++) {
            SetPixelValue(*image, x, y, fill(x, y));
        }
    }
    return image;
}

uint32 Grey(uint32 v, uint32 alpha = 255) {
    return alpha << 24 | v << 16 | v << 8 | v;
}

void ExpectReadBackExactly(PNGTranslator& translator, const BBitmap& source,
                           const std::vector<uint8>& png) {
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, png, &decoded), B_OK) << ErrorReason();
    const bool alpha = source.ColorSpace() == B_RGBA32;
    for (uint32 y = 0; y < source.PixelHeight(); y++) {
        for (uint32 x = 0; x < source.PixelWidth(); x++) {
            const uint32 expected = PixelValue(source, x, y) | (alpha ? 0 : 0xff000000);
            ASSERT_EQ(
                PixelValue(*decoded, x, y) | (decoded->ColorSpace() == B_RGBA32 ? 0 : 0xff000000),
                expected)
                << x << "," << y;
        }
    }
}

TEST(PngColorType, TheSmallestExactTypeIsWritten) {
    struct Case {
        const char* name;
        bool alpha;
        Fill fill;
        uint8 colorType;
        uint8 depth;
    } cases[] = {
        {"black and white", false, [](uint32 x, uint32 y) { return Grey((x + y) % 2 * 255); }, 0,
         1},
        {"four even greys", false, [](uint32 x, uint32) { return Grey(x % 4 * 85); }, 0, 2},
        {"sixteen even greys", false, [](uint32 x, uint32) { return Grey(x % 16 * 17); }, 0, 4},
        {"grey ramp", false, [](uint32 x, uint32 y) { return Grey((x * 23 + y * 11) % 256); }, 0,
         8},
        {"three odd greys", false, [](uint32 x, uint32) { return Grey(x % 3 * 100 + 7); }, 3, 2},
        {"grey and alpha", true, [](uint32 x, uint32 y) { return Grey(x * 3, y * 11); }, 4, 8},
        {"200 colours", false,
         [](uint32 x, uint32 y) { return 0xff000000 | (x + y * 67) % 200 * 0x010305; }, 3, 8},
        {"200 colours, some transparent", true,
         [](uint32 x, uint32 y) {
             const uint32 i = (x + y * 67) % 200;
             return (i < 20 ? i * 10 : 255u) << 24 | i * 0x010305;
         },
         3, 8},
        // In B_RGB32 the fourth byte is not alpha, whatever it holds.
        {"colours, fourth byte unused", false,
         [](uint32 x, uint32) { return x << 24 | x % 5 * 0x203040; }, 3, 4},
        {"photograph", false,
         [](uint32 x, uint32 y) { return 0xff000000 | (x * 0x030201 + y * 0x000507); }, 2, 8},
        {"photograph with alpha", true,
         [](uint32 x, uint32 y) { return (x * 3) << 24 | (x * 0x030201 + y * 0x000507); }, 6, 8},
    };
    PNGTranslator translator;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = Painted(c.alpha, c.fill);
        const std::vector<uint8> png = Encode(translator, *image, kPNG);
        EXPECT_EQ(png[25], c.colorType);
        EXPECT_EQ(png[24], c.depth);
        const std::vector<std::string> types = ChunkTypes(png);
        EXPECT_EQ(CountOf(types, "PLTE"), c.colorType == 3 ? 1u : 0u);
        EXPECT_EQ(CountOf(types, "tRNS"), c.colorType == 3 && c.alpha ? 1u : 0u);
        ExpectReadBackExactly(translator, *image, png);
    }
}

// A colour profile cannot describe grey samples, nor a grey one a palette: the type
// follows the profile, which is then written.
TEST(PngColorType, AProfileKeepsTheTypeItDescribes) {
    std::vector<uint8> colorProfile(128, 0);
    std::memcpy(&colorProfile[16], "RGB ", 4);
    std::vector<uint8> greyProfile(128, 0);
    std::memcpy(&greyProfile[16], "GRAY", 4);
    const auto grey =
        Painted(false, [](uint32 x, uint32 y) { return Grey((x * 23 + y * 11) % 256); });
    const auto greyFew = Painted(false, [](uint32 x, uint32) { return Grey(x % 3 * 100 + 7); });
    struct Case {
        const char* name;
        const BBitmap* image;
        const std::vector<uint8>* profile;
        uint8 colorType;
    } cases[] = {
        {"greys under a colour profile", grey.get(), &colorProfile, 3},
        {"greys under a grey profile", grey.get(), &greyProfile, 0},
        // A palette would be smaller, but a grey profile does not describe one.
        {"few greys under a grey profile", greyFew.get(), &greyProfile, 0},
    };
    PNGTranslator translator;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PictureInfo info;
        info.metadata.color.icc = *c.profile;
        const std::vector<uint8> png = EncodeWith(translator, *c.image, info);
        EXPECT_EQ(png[25], c.colorType);
        EXPECT_EQ(DecodeWhole(translator, png).info.metadata.color.icc, *c.profile);
        ExpectReadBackExactly(translator, *c.image, png);
    }
}

}  // namespace
}  // namespace orv::test
