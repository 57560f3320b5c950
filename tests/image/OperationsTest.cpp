// SPDX-License-Identifier: MIT
// Every operation against a slow reference written pixel by pixel from the rules, on random
// pictures of many shapes, in both 32-bit spaces; plus what all operations share: the
// source stays untouched, the result keeps bounds and colour space, pictures without
// pixels and pictures outside the 32-bit spaces are never read or written past their end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "tests/image/TestImages.h"

namespace {

using orv::test::Byte;
using orv::test::Words;

struct Picture {
    uint32 width;
    uint32 height;
    std::vector<uint32> words;
    bool alpha;  // B_RGBA32: byte 3 is opacity and the colour filters keep it

    uint32 At(int64 x, int64 y) const { return words[size_t(y * width + x)]; }
};

using Reference = std::function<std::vector<uint32>(const Picture&)>;
using Operation = std::function<std::unique_ptr<OrvImage>(const OrvImage&)>;

std::vector<uint32> EachPixel(const Picture& p, const std::function<uint32(uint32, uint32)>& f) {
    std::vector<uint32> out(p.words.size());
    for (uint32 y = 0; y < p.height; ++y) {
        for (uint32 x = 0; x < p.width; ++x) {
            out[size_t(y) * p.width + x] = f(x, y);
        }
    }
    return out;
}

uint32 Alpha(const Picture& p, uint32 word) {
    return p.alpha ? word & 0xFF000000 : 0;
}

uint32 Grey(uint32 level) {
    return level | level << 8 | level << 16;
}

std::vector<uint32> ReferenceSwap(const Picture& p, int first, int second) {
    return EachPixel(p, [&](uint32 x, uint32 y) {
        const uint32 v = p.At(x, y);
        uint32 out = Alpha(p, v);
        for (int k = 0; k < 3; ++k) {
            const int from = k == first ? second : k == second ? first : k;
            out |= Byte(v, from) << (8 * k);
        }
        return out;
    });
}

std::vector<uint32> ReferenceSmooth(const Picture& p) {
    return EachPixel(p, [&](uint32 x, uint32 y) {
        uint32 out = 0;
        for (int k = 0; k < 4; ++k) {
            uint32 sum = 8 * Byte(p.At(x, y), k);
            uint32 weights = 8;
            for (int64 ny = int64(y) - 1; ny <= int64(y) + 1; ++ny) {
                for (int64 nx = int64(x) - 1; nx <= int64(x) + 1; ++nx) {
                    const bool inside = nx >= 0 && ny >= 0 && nx < p.width && ny < p.height;
                    if (inside && (nx != x || ny != y)) {
                        sum += Byte(p.At(nx, ny), k);
                        ++weights;
                    }
                }
            }
            out |= (sum / weights) << (8 * k);
        }
        return out;
    });
}

int32 Intensity(uint32 word) {
    return int32(3 * Byte(word, 2) + 4 * Byte(word, 1) + 2 * Byte(word, 0)) / 9;
}

std::vector<uint32> ReferenceHandDrawing(const Picture& p, int32 type) {
    std::vector<uint32> out(p.words.size(), 0);
    for (int64 y = 1; y + 1 < p.height; ++y) {
        for (int64 x = 1; x + 1 < p.width; ++x) {
            const auto I = [&](int64 dx, int64 dy) { return Intensity(p.At(x + dx, y + dy)); };
            const int32 c = I(0, 0);
            const int32 d1 = c - (I(-1, -1) + I(-1, 0) + I(0, -1)) / 3;
            const int32 d2 = c - (I(1, -1) + I(1, 0) + I(0, -1)) / 3;
            const int32 d3 = c - (I(-1, 1) + I(-1, 0) + I(0, 1)) / 3;
            const float v =
                std::max({std::fabs(float(d1)), std::fabs(float(d2)), std::fabs(float(d3))});
            uint32 g = uint32(c);
            if (type == 1) {
                g = 255 - uint32(v);
            } else if (type == 2) {
                g = uint32(int32(Gaussian(v, 2.0f, 39))) & 0xFF;
            } else if (type == 3) {
                g = uint32(int32(Gaussian(v, 0.8f, 34))) & 0xFF;
            }
            out[size_t(y * p.width + x)] = Grey(g) | Alpha(p, p.At(x, y));
        }
    }
    return out;
}

struct Case {
    std::string name;
    Operation operation;
    Reference reference;
};

std::vector<Case> Cases() {
    std::vector<Case> cases = {
        {"InvertColors", [](const OrvImage& i) { return i.InvertColors(); },
         [](const Picture& p) {
             return EachPixel(p, [&](uint32 x, uint32 y) {
                 const uint32 v = p.At(x, y);
                 return p.alpha ? (~v & 0x00FFFFFF) | (v & 0xFF000000) : ~v;
             });
         }},
        {"InvertColorsByMask", [](const OrvImage& i) { return i.InvertColorsByMask(0x80F00F01); },
         [](const Picture& p) {
             return EachPixel(p, [&](uint32 x, uint32 y) { return p.At(x, y) ^ 0x80F00F01; });
         }},
        {"GreyScale", [](const OrvImage& i) { return i.GreyScale(); },
         [](const Picture& p) {
             return EachPixel(p, [&](uint32 x, uint32 y) {
                 const uint32 v = p.At(x, y);
                 return Grey((Byte(v, 0) + Byte(v, 1) + Byte(v, 2)) / 3) | Alpha(p, v);
             });
         }},
        {"ExchangeRedGreen", [](const OrvImage& i) { return i.Exchange(0xFFFF00); },
         [](const Picture& p) { return ReferenceSwap(p, 1, 2); }},
        {"ExchangeGreenBlue", [](const OrvImage& i) { return i.Exchange(0xFFFF); },
         [](const Picture& p) { return ReferenceSwap(p, 0, 1); }},
        {"ExchangeBlueRed", [](const OrvImage& i) { return i.Exchange(0xFF00FF); },
         [](const Picture& p) { return ReferenceSwap(p, 0, 2); }},
        {"Mirror", [](const OrvImage& i) { return i.Mirror(); },
         [](const Picture& p) {
             return EachPixel(p, [&](uint32 x, uint32 y) { return p.At(p.width - 1 - x, y); });
         }},
        {"Flip", [](const OrvImage& i) { return i.Flip(); },
         [](const Picture& p) {
             return EachPixel(p, [&](uint32 x, uint32 y) { return p.At(x, p.height - 1 - y); });
         }},
        {"Rotate180", [](const OrvImage& i) { return i.Rotate180(); },
         [](const Picture& p) {
             return EachPixel(
                 p, [&](uint32 x, uint32 y) { return p.At(p.width - 1 - x, p.height - 1 - y); });
         }},
        {"Smooth", [](const OrvImage& i) { return i.Smooth(); }, ReferenceSmooth},
    };
    for (int32 type = 0; type <= 4; ++type) {
        cases.push_back({"HandDrawing" + std::to_string(type),
                         [type](const OrvImage& i) { return i.HandDrawing(type); },
                         [type](const Picture& p) { return ReferenceHandDrawing(p, type); }});
    }
    return cases;
}

TEST(Operations, MatchTheReferenceOnRandomPictures) {
    uint32 seed = 1;
    for (const Case& c : Cases()) {
        for (const auto& size : orv::test::kSizes) {
            for (color_space space : {B_RGB32, B_RGBA32}) {
                SCOPED_TRACE(c.name + " " + std::to_string(size[0]) + "x" +
                             std::to_string(size[1]) + (space == B_RGBA32 ? " RGBA32" : " RGB32"));
                auto source = orv::test::RandomImage(size[0], size[1], ++seed, space);
                const Picture picture{size[0], size[1], Words(*source), space == B_RGBA32};
                auto result = c.operation(*source);
                ASSERT_NE(result, nullptr);
                EXPECT_EQ(result->Bounds(), source->Bounds());
                EXPECT_EQ(result->ColorSpace(), space);
                EXPECT_EQ(Words(*result), c.reference(picture));
                EXPECT_EQ(Words(*source), picture.words);
            }
        }
    }
}

TEST(Operations, SmoothPixelAgreesWithTheWholeImage) {
    uint32 seed = 100;
    for (const auto& size : orv::test::kSizes) {
        auto source = orv::test::RandomImage(size[0], size[1], ++seed);
        auto smoothed = source->Smooth32();
        const auto* pixels = static_cast<const uint32*>(source->Bits());
        const auto* result = static_cast<const uint32*>(smoothed->Bits());
        for (uint32 y = 0; y < size[1]; ++y) {
            for (uint32 x = 0; x < size[0]; ++x) {
                ASSERT_EQ(OrvImage::SmoothPixel(x, y, pixels, size[0], size[1]),
                          result[y * size[0] + x])
                    << x << "," << y << " of " << size[0] << "x" << size[1];
            }
        }
    }
}

TEST(Operations, BoundsNotAtTheOriginAddressTheFirstWord) {
    auto source = orv::test::MakeImage(10, 5, B_RGB32, 10, 20);
    static_cast<uint32*>(source->Bits())[0] = 0x00112233;
    auto mirrored = source->Mirror();
    EXPECT_EQ(mirrored->Bounds(), BRect(10, 20, 19, 24));
    EXPECT_EQ(Words(*mirrored)[9], 0x00112233u);
}

TEST(Operations, PicturesWithoutPixelsGiveEmptyResults) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        OrvImage empty(BRect(), B_RGB32);
        auto result = c.operation(empty);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->Bounds(), BRect());
        EXPECT_EQ(result->Bits(), nullptr);
    }
}

// Outside the 32-bit spaces a buffer holds fewer than width × height words: the row-by-row
// operations must leave such a picture alone (the sanitizer build catches any overrun),
// Smooth refuses it, and Exchange stays within the buffer.
TEST(Operations, OtherColourSpacesAreNeverReadPastTheirBuffer) {
    for (color_space space : {B_RGB24, B_RGB16, B_CMAP8, B_GRAY8, B_GRAY1}) {
        auto source = orv::test::RandomImage(13, 7, 5, space);
        const std::vector<uint32> zero(size_t(source->BitsLength()) / 4, 0);
        for (const Case& c : Cases()) {
            SCOPED_TRACE(c.name + " in space " + std::to_string(space));
            auto result = c.operation(*source);
            if (c.name == "Smooth") {
                EXPECT_EQ(result, nullptr);
            } else if (c.name.starts_with("Exchange")) {
                EXPECT_EQ(Words(*result).size(), zero.size());
            } else {
                EXPECT_EQ(Words(*result), zero);
            }
        }
        EXPECT_EQ(Words(*source->Smooth32()), zero);
    }
    // Exchange covers the whole buffer, row padding included, as words.
    auto rgb24 = orv::test::FromWords(3, 1, {0x44332211, 0x88776655, 0xCCBBAA99}, B_RGB24);
    EXPECT_EQ(Words(*rgb24->Exchange(0xFFFF00)),
              (std::vector<uint32>{0x00223311, 0x00667755, 0x00AABB99}));
}

}  // namespace
