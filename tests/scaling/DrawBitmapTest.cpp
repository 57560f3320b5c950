// SPDX-License-Identifier: MIT
// BView::DrawBitmap into a bitmap: where it draws, what it leaves alone, and what it
// refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/interface/InterfaceDefs.h"
#include "platform/interface/View.h"
#include "tests/scaling/ScalingTestUtil.h"

namespace orv::test {
namespace {

constexpr uint32 kRed = 0xffff0000u;
constexpr uint32 kBlue = 0xff0000ffu;

struct Canvas {
    explicit Canvas(BRect bounds, BRect viewFrame = BRect())
        : bitmap(bounds, B_RGBA32, true),
          view(new BView(viewFrame.IsValid() ? viewFrame : bounds, "canvas", B_FOLLOW_ALL_SIDES,
                         B_WILL_DRAW)) {
        EXPECT_EQ(AddChildToBitmap(&bitmap, view), B_OK);
    }
    ~Canvas() {
        RemoveChildFromBitmap(&bitmap, view);
        delete view;
    }

    // Which pixels hold `colour`; every other pixel must still be the untouched 0.
    void ExpectOnly(uint32 colour, int64 left, int64 top, int64 right, int64 bottom) const {
        for (uint32 y = 0; y < bitmap.PixelHeight(); y++) {
            for (uint32 x = 0; x < bitmap.PixelWidth(); x++) {
                const bool inside = x >= left && x <= right && y >= top && y <= bottom;
                ASSERT_EQ(PixelAt(bitmap, x, y), inside ? colour : 0u) << x << "," << y;
            }
        }
    }

    OrvImage bitmap;
    BView* view;
};

std::unique_ptr<OrvImage> Solid(uint32 colour) {
    return MakeImage(3, 2, B_RGBA32, [&](uint32, uint32) { return colour; });
}

TEST(DrawBitmap, WritesTheDestinationRectangleOnly) {
    Canvas canvas(BRect(0, 0, 19, 9));
    auto red = Solid(kRed);
    canvas.view->DrawBitmap(red.get(), BRect(5, 2, 9, 5));
    EXPECT_EQ(canvas.view->DrawingStatus(), B_OK);
    canvas.ExpectOnly(kRed, 5, 2, 9, 5);
}

// The part outside the target is cut off, not squeezed in: the visible part shows the
// source as the whole rectangle would.
TEST(DrawBitmap, ClipsToTheTargetWithoutRefitting) {
    Canvas canvas(BRect(0, 0, 9, 9));
    auto halves =
        MakeImage(10, 10, B_RGBA32, [](uint32 x, uint32) { return x < 5 ? kRed : kBlue; });
    canvas.view->DrawBitmap(halves.get(), BRect(-5, -5, 4, 4));
    EXPECT_EQ(canvas.view->DrawingStatus(), B_OK);
    canvas.ExpectOnly(kBlue, 0, 0, 4, 4);
}

// Scaled and cut off on every side, the visible part is the same as that part of the whole
// scaled picture (to a level, where the work is ordered differently).
TEST(DrawBitmap, ClippedScalingShowsThePartOfTheWhole) {
    auto source = MakeImage(50, 40, B_RGBA32, [](uint32 x, uint32 y) {
        return Argb(uint8(100 + (x * y) % 150), uint8(x * 5), uint8(y * 6), uint8((x * 7) ^ y));
    });
    for (BRect whole : {BRect(0, 0, 29, 24), BRect(0, 0, 119, 89)}) {
        const int64 width = int64(whole.Width()) + 1, height = int64(whole.Height()) + 1;
        Canvas all(whole);
        all.view->DrawBitmap(source.get(), whole);
        ASSERT_EQ(all.view->DrawingStatus(), B_OK);
        // The same picture 7 pixels left and 4 up, on a target that ends 5 pixels early.
        Canvas part(BRect(0, 0, float(width - 13), float(height - 10)));
        BRect shifted = whole;
        shifted.OffsetBy(-7, -4);
        part.view->DrawBitmap(source.get(), shifted);
        ASSERT_EQ(part.view->DrawingStatus(), B_OK);
        for (uint32 y = 0; y < part.bitmap.PixelHeight(); y++) {
            for (uint32 x = 0; x < part.bitmap.PixelWidth(); x++) {
                const uint32 seen = PixelAt(part.bitmap, x, y);
                const uint32 expected = PixelAt(all.bitmap, x + 7, y + 4);
                for (int shift : {0, 8, 16, 24}) {
                    ASSERT_NEAR(int(seen >> shift & 0xff), int(expected >> shift & 0xff), 1)
                        << width << " wide, at " << x << "," << y;
                }
            }
        }
    }
}

TEST(DrawBitmap, FollowsBoundsAndFramesNotAtTheOrigin) {
    // The bitmap's coordinates start at its bounds; the view sits at (104, 202) in them.
    Canvas canvas(BRect(100, 200, 119, 209), BRect(104, 202, 119, 209));
    auto red = Solid(kRed);
    canvas.view->DrawBitmap(red.get(), BRect(0, 0, 2, 3));
    canvas.ExpectOnly(kRed, 4, 2, 6, 5);
}

TEST(DrawBitmap, ChildViewDrawsInsideItsOwnFrame) {
    Canvas canvas(BRect(0, 0, 19, 19));
    auto* child = new BView(BRect(2, 3, 6, 8), "child", B_FOLLOW_NONE, B_WILL_DRAW);
    canvas.view->AddChild(child);
    auto red = Solid(kRed);
    child->DrawBitmap(red.get(), BRect(-10, -10, 40, 40));
    EXPECT_EQ(child->DrawingStatus(), B_OK);
    canvas.ExpectOnly(kRed, 2, 3, 6, 8);
}

TEST(DrawBitmap, RefusesWhatItCannotDraw) {
    Canvas canvas(BRect(0, 0, 9, 9));
    auto red = Solid(kRed);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    canvas.view->DrawBitmap(red.get(), BRect(0, 0, nan, 4));
    EXPECT_NE(canvas.view->DrawingStatus(), B_OK);
    canvas.view->DrawBitmap(nullptr, BRect(0, 0, 4, 4));
    EXPECT_NE(canvas.view->DrawingStatus(), B_OK);
    // A destination no bitmap could be, even mostly off the target.
    canvas.view->DrawBitmap(red.get(), BRect(0, 0, 1e6f, 1e6f));
    EXPECT_NE(canvas.view->DrawingStatus(), B_OK);
    OrvImage grey(BRect(0, 0, 3, 3), B_GRAY8);
    canvas.view->DrawBitmap(&grey, BRect(0, 0, 4, 4));
    EXPECT_NE(canvas.view->DrawingStatus(), B_OK);
    canvas.ExpectOnly(0, 0, 0, -1, -1);

    BView loose(BRect(0, 0, 9, 9), "loose", B_FOLLOW_NONE, 0);
    loose.DrawBitmap(red.get(), BRect(0, 0, 4, 4));
    EXPECT_NE(loose.DrawingStatus(), B_OK);
}

TEST(DrawBitmap, OnlyBitmapsThatAcceptViewsHostThem) {
    OrvImage plain(BRect(0, 0, 9, 9), B_RGBA32, false);
    BView view(BRect(0, 0, 9, 9), "v", B_FOLLOW_NONE, 0);
    EXPECT_NE(AddChildToBitmap(&plain, &view), B_OK);
    EXPECT_EQ(plain.CountChildren(), 0);

    OrvImage host(BRect(0, 0, 9, 9), B_RGBA32, true);
    EXPECT_EQ(AddChildToBitmap(&host, &view), B_OK);
    EXPECT_NE(AddChildToBitmap(&host, &view), B_OK);
    EXPECT_EQ(host.CountChildren(), 1);
    EXPECT_TRUE(RemoveChildFromBitmap(&host, &view));
    EXPECT_FALSE(RemoveChildFromBitmap(&host, &view));
    EXPECT_EQ(host.CountChildren(), 0);
}

}  // namespace
}  // namespace orv::test
