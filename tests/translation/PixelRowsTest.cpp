// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/translation/PixelRows.h"
#include "tests/translation/TestSupport.h"

namespace {

// Counts that are not a multiple of any vector width, so the loops' tails are exercised.
constexpr uint32 kCounts[] = {1, 7, 37};

TEST(PixelRows, LibraryRowsBecomeBlueGreenRedAlpha) {
    for (uint32 count : kCounts) {
        std::vector<uint8> rgb(count * 3), rgba(count * 4), gray(count), grayAlpha(count * 2);
        for (uint32 i = 0; i < count * 4; ++i) {
            if (i < rgb.size()) {
                rgb[i] = uint8(3 * i + 1);
            }
            rgba[i] = uint8(5 * i + 2);
            if (i < gray.size()) {
                gray[i] = uint8(7 * i + 3);
            }
            if (i < grayAlpha.size()) {
                grayAlpha[i] = uint8(11 * i + 4);
            }
        }
        std::vector<uint8> out(count * 4);
        orv::RGBToRow(rgb.data(), out.data(), count);
        for (uint32 i = 0; i < count; ++i) {
            EXPECT_EQ(out[4 * i + 0], rgb[3 * i + 2]);
            EXPECT_EQ(out[4 * i + 1], rgb[3 * i + 1]);
            EXPECT_EQ(out[4 * i + 2], rgb[3 * i + 0]);
            EXPECT_EQ(out[4 * i + 3], 255);
        }
        orv::RGBAToRow(rgba.data(), out.data(), count);
        for (uint32 i = 0; i < count; ++i) {
            EXPECT_EQ(out[4 * i + 0], rgba[4 * i + 2]);
            EXPECT_EQ(out[4 * i + 2], rgba[4 * i + 0]);
            EXPECT_EQ(out[4 * i + 3], rgba[4 * i + 3]);
        }
        orv::GrayToRow(gray.data(), out.data(), count);
        for (uint32 i = 0; i < count; ++i) {
            EXPECT_EQ(out[4 * i + 0], gray[i]);
            EXPECT_EQ(out[4 * i + 2], gray[i]);
            EXPECT_EQ(out[4 * i + 3], 255);
        }
        orv::GrayAlphaToRow(grayAlpha.data(), out.data(), count);
        for (uint32 i = 0; i < count; ++i) {
            EXPECT_EQ(out[4 * i + 1], grayAlpha[2 * i]);
            EXPECT_EQ(out[4 * i + 3], grayAlpha[2 * i + 1]);
        }

        std::vector<uint8> back(count * 4);
        orv::RowToRGBA(out.data(), back.data(), count);
        EXPECT_EQ(back[0], out[2]);
        EXPECT_EQ(back[4 * count - 1], out[4 * count - 1]);
        orv::RowToRGB(out.data(), back.data(), count, false);
        EXPECT_EQ(back[3 * count - 1], out[4 * count - 4]);
    }
}

TEST(PixelRows, BitmapRowsBecomeSamplesAtTheirStride) {
    BBitmap image(BRect(0, 0, 1, 1), B_RGBA32);
    const uint8 pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};  // B G R A
    std::memcpy(image.Bits(), pixels, sizeof pixels);

    // Rows 9 bytes apart: the ninth byte of each is padding and must stay as it was.
    uint8 rgba[18];
    std::memset(rgba, 0xee, sizeof rgba);
    orv::BitmapToRows(image, true, rgba, 9);
    const uint8 expectedRGBA[18] = {3,  2,  1, 4,  7,  6,  5,  8,  0xee,
                                    11, 10, 9, 12, 15, 14, 13, 16, 0xee};
    EXPECT_EQ(std::memcmp(rgba, expectedRGBA, sizeof rgba), 0);

    uint8 rgb[14];
    std::memset(rgb, 0xee, sizeof rgb);
    orv::BitmapToRows(image, false, rgb, 7);
    const uint8 expectedRGB[14] = {3, 2, 1, 7, 6, 5, 0xee, 11, 10, 9, 15, 14, 13, 0xee};
    EXPECT_EQ(std::memcmp(rgb, expectedRGB, sizeof rgb), 0);
}

TEST(PixelRows, FlatteningOnWhiteRoundsEveryPairExactly) {
    // Every colour against every alpha, checked against the rounded real value.
    std::vector<uint8> bgra(256 * 4), rgb(256 * 3);
    for (uint32 alpha = 0; alpha < 256; ++alpha) {
        for (uint32 c = 0; c < 256; ++c) {
            bgra[4 * c + 0] = uint8(c);
            bgra[4 * c + 1] = uint8(255 - c);
            bgra[4 * c + 2] = uint8(c);
            bgra[4 * c + 3] = uint8(alpha);
        }
        orv::RowToRGB(bgra.data(), rgb.data(), 256, true);
        for (uint32 c = 0; c < 256; ++c) {
            const auto expected = [&](uint32 colour) {
                return int(std::lround((colour * alpha + 255.0 * (255 - alpha)) / 255.0));
            };
            ASSERT_EQ(rgb[3 * c + 0], expected(c)) << c << " " << alpha;
            ASSERT_EQ(rgb[3 * c + 1], expected(255 - c)) << c << " " << alpha;
        }
    }
}

TEST(PixelRows, TransparencyIsSeenOnlyInAlphaBitmaps) {
    auto opaque = orvtest::PatternBitmap(33, 3, B_RGBA32);
    auto* bytes = static_cast<uint8*>(opaque->Bits());
    for (int32 i = 3; i < opaque->BitsLength(); i += 4) {
        bytes[i] = 255;
    }
    EXPECT_FALSE(orv::HasTransparency(*opaque));
    bytes[opaque->BitsLength() - 1] = 254;  // the very last pixel
    EXPECT_TRUE(orv::HasTransparency(*opaque));

    auto rgb = orvtest::PatternBitmap(5, 5, B_RGB32);
    static_cast<uint8*>(rgb->Bits())[3] = 0;  // not a colour byte in B_RGB32
    EXPECT_FALSE(orv::HasTransparency(*rgb));
}

TEST(PixelRows, NewImageRefusesImpossibleSizes) {
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(orv::NewImage(3, 2, true, &image), B_OK);
    EXPECT_EQ(image->ColorSpace(), B_RGBA32);
    EXPECT_EQ(image->BitsLength(), 24);
    orv::ClearErrorReason();
    EXPECT_NE(orv::NewImage(60000, 60000, false, &image), B_OK);
    EXPECT_EQ(image, nullptr);
    EXPECT_FALSE(orv::ErrorReason().empty());
    EXPECT_NE(orv::NewImage(0, 10, false, &image), B_OK);
}

// A reference built another way: EXIF orientations as the compositions their definitions
// name (mirror, quarter turns) applied to a plain grid of pixel words.
using Grid = std::vector<std::vector<uint32>>;  // grid[y][x]

Grid MirrorLeftRight(const Grid& g) {
    Grid out = g;
    for (auto& row : out) {
        std::reverse(row.begin(), row.end());
    }
    return out;
}

Grid TurnClockwise(const Grid& g) {
    const size_t h = g.size(), w = g[0].size();
    Grid out(w, std::vector<uint32>(h));
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            out[x][h - 1 - y] = g[y][x];
        }
    }
    return out;
}

Grid Upright(int orientation, const Grid& g) {
    const auto cw = TurnClockwise;
    switch (orientation) {
        case 2:
            return MirrorLeftRight(g);
        case 3:
            return cw(cw(g));
        case 4:
            return cw(cw(MirrorLeftRight(g)));
        case 5:
            return cw(cw(cw(MirrorLeftRight(g))));
        case 6:
            return cw(g);
        case 7:
            return cw(MirrorLeftRight(g));
        case 8:
            return cw(cw(cw(g)));
        default:
            return g;
    }
}

Grid ToGrid(const BBitmap& image) {
    const uint32 w = image.PixelWidth(), h = image.PixelHeight();
    const auto* words = static_cast<const uint32*>(image.Bits());
    Grid g(h, std::vector<uint32>(w));
    for (uint32 y = 0; y < h; ++y) {
        for (uint32 x = 0; x < w; ++x) {
            g[y][x] = words[y * w + x];
        }
    }
    return g;
}

TEST(PixelRows, ApplyOrientationMatchesTheDefinitions) {
    // A tiny image, one larger than the turning's tiles with ragged edges, and one large
    // enough to be turned into memory an earlier picture left, here full of other bytes.
    for (auto [width, height] : {std::pair{3u, 2u}, std::pair{70u, 131u}, std::pair{601u, 450u}}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            std::unique_ptr<BBitmap> image = orvtest::PatternBitmap(width, height, B_RGB32);
            const Grid expected = Upright(orientation, ToGrid(*image));
            {
                BBitmap earlier(image->Bounds(), B_RGB32, BBitmap::Uncleared{});
                std::memset(earlier.Bits(), 0xa5, size_t(earlier.BitsLength()));
            }
            ASSERT_EQ(orv::ApplyOrientation(orientation, &image), B_OK) << orientation;
            EXPECT_EQ(ToGrid(*image), expected) << orientation << " on " << width;
            EXPECT_EQ(image->ColorSpace(), B_RGB32);
        }
    }
    // A camera's "turn right" photo: the stored top-left corner ends at the top right.
    std::unique_ptr<BBitmap> photo = orvtest::PatternBitmap(4, 3, B_RGBA32);
    const uint32 corner = static_cast<const uint32*>(photo->Bits())[0];
    ASSERT_EQ(orv::ApplyOrientation(6, &photo), B_OK);
    EXPECT_EQ(photo->PixelWidth(), 3u);
    EXPECT_EQ(photo->PixelHeight(), 4u);
    EXPECT_EQ(static_cast<const uint32*>(photo->Bits())[2], corner);

    // Values no camera should write leave the picture alone.
    for (int odd : {0, 9, -1}) {
        std::unique_ptr<BBitmap> same = orvtest::PatternBitmap(3, 2);
        const BBitmap* before = same.get();
        EXPECT_EQ(orv::ApplyOrientation(odd, &same), B_OK);
        EXPECT_EQ(same.get(), before);
    }
}

// A minimal EXIF block: optional "Exif\0\0", TIFF header, IFD0 with the given entries.
std::vector<uint8> Exif(bool bigEndian, bool prefix, std::vector<std::array<uint32, 4>> entries) {
    std::vector<uint8> out;
    auto u16 = [&](uint32 v) {
        if (bigEndian) {
            out.push_back(uint8(v >> 8));
            out.push_back(uint8(v));
        } else {
            out.push_back(uint8(v));
            out.push_back(uint8(v >> 8));
        }
    };
    auto u32 = [&](uint32 v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xFFFF);
        } else {
            u16(v & 0xFFFF);
            u16(v >> 16);
        }
    };
    if (prefix) {
        out.insert(out.end(), {'E', 'x', 'i', 'f', 0, 0});
    }
    out.insert(out.end(), bigEndian ? std::initializer_list<uint8>{'M', 'M', 0, 42}
                                    : std::initializer_list<uint8>{'I', 'I', 42, 0});
    u32(8);
    u16(uint32(entries.size()));
    for (const auto& e : entries) {  // tag, type, count, SHORT value
        u16(e[0]);
        u16(e[1]);
        u32(e[2]);
        u16(e[3]);
        u16(0);
    }
    u32(0);
    return out;
}

TEST(PixelRows, ExifOrientationReadsBothByteOrders) {
    const std::array<uint32, 4> software = {0x0131, 2, 4, 0};
    for (bool big : {false, true}) {
        for (bool prefix : {false, true}) {
            const auto block = Exif(big, prefix, {software, {0x0112, 3, 1, 6}});
            EXPECT_EQ(orv::ExifOrientation(block.data(), block.size()), 6) << big << prefix;
        }
    }
    const struct {
        const char* what;
        std::vector<uint8> block;
    } unreadable[] = {
        {"no orientation", Exif(false, false, {software})},
        {"value 9", Exif(true, false, {{0x0112, 3, 1, 9}})},
        {"value 0", Exif(false, false, {{0x0112, 3, 1, 0}})},
        {"type LONG", Exif(false, false, {{0x0112, 4, 1, 6}})},
        {"count 2", Exif(true, false, {{0x0112, 3, 2, 6}})},
        {"not TIFF", {'I', 'I', 43, 0, 8, 0, 0, 0, 1, 0}},
    };
    for (const auto& u : unreadable) {
        EXPECT_EQ(orv::ExifOrientation(u.block.data(), u.block.size()), 1) << u.what;
    }
    // Cut anywhere before the value, or pointing outside itself, it reads as upright.
    const auto good = Exif(false, true, {software, {0x0112, 3, 1, 8}});
    const size_t valueEnd = 6 + 8 + 2 + 12 + 10;  // prefix, header, count, entry, value
    for (size_t cut = 0; cut <= good.size(); ++cut) {
        EXPECT_EQ(orv::ExifOrientation(good.data(), cut), cut >= valueEnd ? 8 : 1) << cut;
    }
    auto far = good;
    far[6 + 4] = 0xF0;  // IFD0 offset far past the end
    EXPECT_EQ(orv::ExifOrientation(far.data(), far.size()), 1);
    auto many = Exif(false, true, {software});
    many[6 + 8] = 0xFF;  // 65535 entries announced, one present
    many[6 + 9] = 0xFF;
    EXPECT_EQ(orv::ExifOrientation(many.data(), many.size()), 1);
    EXPECT_EQ(orv::ExifOrientation(nullptr, 100), 1);
}

}  // namespace
