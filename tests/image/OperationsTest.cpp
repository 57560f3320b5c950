// SPDX-License-Identifier: MIT
// Every operation against a slow reference written pixel by pixel from the rules, on random
// pictures of many shapes in both 32-bit spaces; and what all operations share: the source
// stays untouched, pictures without pixels or outside the 32-bit spaces are never read or
// written past their buffer (the sanitizer build catches any overrun).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "tests/image/TestImages.h"

namespace {

using orv::test::Words;

uint32 Byte(uint32 word, int k) {
    return (word >> (8 * k)) & 0xFF;
}
uint32 Grey(uint32 level) {
    return level * 0x010101;
}

struct Picture {
    uint32 width;
    uint32 height;
    std::vector<uint32> words;
    uint32 alphaKept;  // 0xFF000000 in B_RGBA32, where the colour filters keep byte 3

    uint32 At(int64 x, int64 y) const { return words[size_t(y * width + x)]; }
};

using Pixel = std::function<uint32(const Picture&, int64 x, int64 y)>;

uint32 Swap(uint32 v, uint32 alphaKept, int first, int second) {
    uint32 out = v & alphaKept;
    for (int k = 0; k < 3; ++k) {
        out |= Byte(v, k == first ? second : k == second ? first : k) << (8 * k);
    }
    return out;
}

uint32 Smoothed(const Picture& p, int64 x, int64 y) {
    uint32 out = 0;
    for (int k = 0; k < 4; ++k) {
        uint32 sum = 7 * Byte(p.At(x, y), k);
        uint32 weights = 7;
        for (int64 ny = y - 1; ny <= y + 1; ++ny) {
            for (int64 nx = x - 1; nx <= x + 1; ++nx) {
                if (nx >= 0 && ny >= 0 && nx < p.width && ny < p.height) {
                    sum += Byte(p.At(nx, ny), k);
                    ++weights;
                }
            }
        }
        out |= (sum / weights) << (8 * k);
    }
    return out;
}

uint32 Drawn(const Picture& p, int64 x, int64 y, int32 type) {
    if (x == 0 || y == 0 || x + 1 == p.width || y + 1 == p.height) {
        return 0;  // the border is never written
    }
    const auto I = [&](int64 dx, int64 dy) {
        const uint32 v = p.At(x + dx, y + dy);
        return int32(3 * Byte(v, 2) + 4 * Byte(v, 1) + 2 * Byte(v, 0)) / 9;
    };
    const int32 c = I(0, 0);
    const float v = std::max({std::fabs(float(c - (I(-1, -1) + I(-1, 0) + I(0, -1)) / 3)),
                              std::fabs(float(c - (I(1, -1) + I(1, 0) + I(0, -1)) / 3)),
                              std::fabs(float(c - (I(-1, 1) + I(-1, 0) + I(0, 1)) / 3))});
    uint32 g = type == 1   ? 255 - uint32(v)
               : type == 2 ? uint32(int32(Gaussian(v, 2.0f, 39))) & 0xFF
               : type == 3 ? uint32(int32(Gaussian(v, 0.8f, 34))) & 0xFF
                           : uint32(c);
    return Grey(g) | (p.At(x, y) & p.alphaKept);
}

struct Case {
    std::string name;
    std::function<std::unique_ptr<OrvImage>(const OrvImage&)> operation;
    Pixel pixel;
};

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {"InvertColors", &OrvImage::InvertColors,
         [](const Picture& p, int64 x, int64 y) { return p.At(x, y) ^ ~p.alphaKept; }},
        {"GreyScale", &OrvImage::GreyScale,
         [](const Picture& p, int64 x, int64 y) {
             const uint32 v = p.At(x, y);
             return Grey((Byte(v, 0) + Byte(v, 1) + Byte(v, 2)) / 3) | (v & p.alphaKept);
         }},
        {"ExchangeRedGreen", [](const OrvImage& i) { return i.Exchange(kSwapRedGreen); },
         [](const Picture& p, int64 x, int64 y) { return Swap(p.At(x, y), p.alphaKept, 1, 2); }},
        {"ExchangeGreenBlue", [](const OrvImage& i) { return i.Exchange(kSwapGreenBlue); },
         [](const Picture& p, int64 x, int64 y) { return Swap(p.At(x, y), p.alphaKept, 0, 1); }},
        {"ExchangeBlueRed", [](const OrvImage& i) { return i.Exchange(kSwapBlueRed); },
         [](const Picture& p, int64 x, int64 y) { return Swap(p.At(x, y), p.alphaKept, 0, 2); }},
        {"Mirror", &OrvImage::Mirror,
         [](const Picture& p, int64 x, int64 y) { return p.At(p.width - 1 - x, y); }},
        {"Flip", &OrvImage::Flip,
         [](const Picture& p, int64 x, int64 y) { return p.At(x, p.height - 1 - y); }},
        {"Rotate180", &OrvImage::Rotate180,
         [](const Picture& p, int64 x, int64 y) {
             return p.At(p.width - 1 - x, p.height - 1 - y);
         }},
        {"Smooth", &OrvImage::Smooth, Smoothed},
    };
    for (int32 type = 0; type <= 4; ++type) {
        cases.push_back(
            {"HandDrawing" + std::to_string(type),
             [type](const OrvImage& i) { return i.HandDrawing(type); },
             [type](const Picture& p, int64 x, int64 y) { return Drawn(p, x, y, type); }});
    }
    return cases;
}

// Single pixels, single rows and columns, the smallest pictures with and without inner
// pixels, and a few odd shapes.
constexpr uint32 kSizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 2},  {2, 5},
                                {3, 3}, {5, 2}, {4, 9}, {17, 3}, {33, 31}};

TEST(Operations, MatchTheReferenceOnRandomPictures) {
    uint32 seed = 1;
    for (const Case& c : Cases()) {
        for (const auto& size : kSizes) {
            for (color_space space : {B_RGB32, B_RGBA32}) {
                SCOPED_TRACE(c.name + " " + std::to_string(size[0]) + "x" +
                             std::to_string(size[1]) + " space " + std::to_string(space));
                auto source = orv::test::RandomImage(size[0], size[1], ++seed, space);
                const Picture p{size[0], size[1], Words(*source),
                                space == B_RGBA32 ? 0xFF000000 : 0};
                std::vector<uint32> expected(p.words.size());
                for (uint32 y = 0; y < p.height; ++y) {
                    for (uint32 x = 0; x < p.width; ++x) {
                        expected[y * p.width + x] = c.pixel(p, x, y);
                    }
                }
                auto result = c.operation(*source);
                EXPECT_EQ(result->ColorSpace(), space);
                EXPECT_EQ(Words(*result), expected);
                EXPECT_EQ(Words(*source), p.words);
                if (c.name == "Smooth") {
                    const auto* words = static_cast<const uint32*>(source->Bits());
                    for (size_t i = 0; i < expected.size(); ++i) {
                        EXPECT_EQ(OrvImage::SmoothPixel(i % p.width, i / p.width, words, p.width,
                                                        p.height),
                                  expected[i]);
                    }
                }
            }
        }
    }
}

TEST(Operations, BoundsAnywhereAndCompositions) {
    auto source = std::make_unique<OrvImage>(BRect(10, 20, 19, 24), B_RGBA32);
    static_cast<uint32*>(source->Bits())[0] = 0x80112233;
    auto turned = source->Rotate180();
    EXPECT_EQ(turned->Bounds(), BRect(10, 20, 19, 24));
    EXPECT_EQ(Words(*turned)[49], 0x80112233u);

    auto random = orv::test::RandomImage(7, 5, 3);
    EXPECT_EQ(Words(*random->Mirror()->Flip()), Words(*random->Rotate180()));
    EXPECT_EQ(Words(*random->InvertColors()->InvertColors()), Words(*random));
    EXPECT_EQ(Words(*random->InvertColorsByMask(0)), Words(*random));
}

// An empty picture, and one too large to allocate, whose result cannot be allocated
// either: a result of the same bounds comes back, never written to.
TEST(Operations, PicturesWithoutPixelsGiveUnwrittenResults) {
    for (const BRect& bounds : {BRect(), BRect(0, 0, 19999, 19999)}) {
        OrvImage source(bounds, B_RGBA32);
        for (const Case& c : Cases()) {
            SCOPED_TRACE(c.name);
            auto result = c.operation(source);
            EXPECT_EQ(result->Bounds(), bounds);
            EXPECT_EQ(result->Bits(), nullptr);
            EXPECT_EQ(result->InitCheck(), source.InitCheck());
        }
    }
}

// Outside the 32-bit spaces a buffer holds fewer than width × height words: the row-by-row
// operations leave such a picture unwritten, Smooth refuses it, and Exchange swaps the
// bytes of the buffer's words, padding included, up to its end.
TEST(Operations, OtherColourSpacesStayWithinTheirBuffer) {
    for (color_space space : {B_RGB24, B_RGB16, B_CMAP8, B_GRAY8, B_GRAY1}) {
        auto source = orv::test::RandomImage(13, 7, 5, space);
        const std::vector<uint32> unwritten(size_t(source->BitsLength()) / 4, 0);
        for (const Case& c : Cases()) {
            SCOPED_TRACE(c.name + " in space " + std::to_string(space));
            auto result = c.operation(*source);
            if (c.name == "Smooth") {
                EXPECT_EQ(result, nullptr);
            } else if (!c.name.starts_with("Exchange")) {
                EXPECT_EQ(Words(*result), unwritten);
            }
        }
        EXPECT_EQ(Words(*source->Smooth32()), unwritten);
    }
    auto rgb24 = orv::test::FromWords(3, 1, {0x44332211, 0x88776655, 0xCCBBAA99}, B_RGB24);
    EXPECT_EQ(Words(*rgb24->Exchange(kSwapRedGreen)),
              (std::vector<uint32>{0x00223311, 0x00667755, 0x00AABB99}));
}

}  // namespace
