// SPDX-License-Identifier: MIT
// BBitmap: row lengths per colour space, zero-filled aligned buffers, sizes refused with a
// reason, the lock, and handing a decoded bitmap to OrvImage without a copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/support/ErrorReason.h"
#include "tests/image/TestImages.h"

namespace {

TEST(Bitmap, RowsAndBuffers) {
    const struct {
        color_space space;
        uint32 width;
        int32 bytesPerRow;
    } rows[] = {{B_RGB32, 3, 12}, {B_RGBA32_BIG, 5, 20}, {B_RGB24, 3, 12},        {B_RGB16, 3, 8},
                {B_CMAP8, 5, 8},  {B_GRAY1, 33, 8},      {B_RGB32, 65535, 262140}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.space) + " x " + std::to_string(row.width));
        // Bounds away from the origin, as a decoder never makes them but a caller may.
        BBitmap bitmap(BRect(5, -3, 5 + float(row.width) - 1, -1), row.space);
        ASSERT_EQ(bitmap.InitCheck(), B_OK);
        EXPECT_EQ(bitmap.PixelWidth(), row.width);
        EXPECT_EQ(bitmap.PixelHeight(), 3u);
        EXPECT_EQ(bitmap.BytesPerRow(), row.bytesPerRow);
        EXPECT_EQ(bitmap.BitsLength(), row.bytesPerRow * 3);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(bitmap.Bits()) % 64, 0u);
        const auto* bytes = static_cast<const uint8*>(bitmap.Bits());
        EXPECT_EQ(std::count(bytes, bytes + bitmap.BitsLength(), 0), bitmap.BitsLength());
    }
    EXPECT_EQ(BBitmap(BRect(0, 0, 9.7f, 0), B_RGB32).PixelWidth(), 10u);
    BBitmap empty(BRect(), B_RGB32);
    EXPECT_EQ(empty.InitCheck(), B_OK);
    EXPECT_EQ(empty.Bits(), nullptr);
}

// Large buffers given back are kept for the next pictures: whoever asks for a cleared bitmap
// must still get zeros, whatever size the kept memory had and held.
TEST(Bitmap, MemoryGivenBackComesBackClearedToWhoeverAsks) {
    const BRect sizes[] = {BRect(0, 0, 1023, 767), BRect(0, 0, 2047, 1535), BRect(0, 0, 799, 599)};
    for (const BRect& bounds : sizes) {
        SCOPED_TRACE(std::to_string(bounds.Width()));
        {
            BBitmap used(bounds, B_RGB32, BBitmap::Uncleared{});
            ASSERT_EQ(used.InitCheck(), B_OK);
            std::memset(used.Bits(), 0xa5, size_t(used.BitsLength()));
        }
        BBitmap fresh(bounds, B_RGB32);
        ASSERT_EQ(fresh.InitCheck(), B_OK);
        const auto* bytes = static_cast<const uint8*>(fresh.Bits());
        EXPECT_EQ(std::count(bytes, bytes + fresh.BitsLength(), 0), fresh.BitsLength());
    }
}

TEST(Bitmap, ImpossibleSizesFailWithAReason) {
    const std::pair<BRect, color_space> refused[] = {
        {BRect(0, 0, 65535, 0), B_RGB32},         // 65536 wide
        {BRect(0, 0, 20000, 20000), B_RGB32},     // over 2^28 pixels
        {BRect(0, 0, -5, 3), B_RGB32},            // reversed
        {BRect(0, 0, NAN, 3), B_RGB32},           // not a number
        {BRect(0, 0, 4294967296.f, 0), B_RGB32},  // would wrap to 1 pixel in 32 bits
        {BRect(0, 0, 3, 3), B_NO_COLOR_SPACE},
    };
    for (const auto& [bounds, space] : refused) {
        orv::ClearErrorReason();
        BBitmap bitmap(bounds, space);
        EXPECT_NE(bitmap.InitCheck(), B_OK) << bounds.right << " " << bounds.bottom;
        EXPECT_EQ(bitmap.Bits(), nullptr);
        EXPECT_FALSE(orv::ErrorReason().empty());
    }
}

TEST(Bitmap, OnlyTheHolderUnlocks) {
    BBitmap bitmap(BRect(0, 0, 1, 1), B_RGB32, true);
    ASSERT_TRUE(bitmap.Lock());
    ASSERT_TRUE(bitmap.Lock());
    bitmap.Unlock();
    std::thread([&] {
        EXPECT_FALSE(bitmap.IsLocked());
        bitmap.Unlock();
    }).join();
    EXPECT_TRUE(bitmap.IsLocked());
    bitmap.Unlock();
    EXPECT_FALSE(bitmap.IsLocked());
    bitmap.Unlock();  // one too many: harmless
    std::thread([&] {
        EXPECT_TRUE(bitmap.Lock());
        bitmap.Unlock();
    }).join();
}

TEST(Bitmap, AdoptTakesTheBufferWithoutACopy) {
    auto decoded = std::make_unique<BBitmap>(BRect(3, 4, 12, 8), B_RGBA32);
    void* bits = decoded->Bits();
    auto image = OrvImage::Adopt(std::move(decoded));
    EXPECT_EQ(image->Bits(), bits);
    EXPECT_EQ(image->Bounds(), BRect(3, 4, 12, 8));
    EXPECT_EQ(image->ColorSpace(), B_RGBA32);
    EXPECT_EQ(image->BitsLength(), 10 * 5 * 4);
    OrvImage* raw = image.get();
    EXPECT_EQ(OrvImage::Adopt(std::move(image)).get(), raw);
}

}  // namespace
