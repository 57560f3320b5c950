// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "platform/support/DataIO.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

TEST(MallocIO, WritesPastTheEndLeaveZerosAndGrow) {
    BMallocIO io;
    ASSERT_EQ(io.WriteAt(4, "ab", 2), 2);
    ASSERT_EQ(io.BufferLength(), 6u);
    EXPECT_EQ(std::memcmp(io.Buffer(), "\0\0\0\0ab", 6), 0);
    EXPECT_EQ(io.Position(), 0);

    // Sequential writes follow the position; a seek back then overwrites in place.
    ASSERT_EQ(io.Write("xyz", 3), 3);
    EXPECT_EQ(io.Position(), 3);
    EXPECT_EQ(std::memcmp(io.Buffer(), "xyz\0ab", 6), 0);
    ASSERT_EQ(io.Seek(-1, SEEK_FROM_END), 5);
    ASSERT_EQ(io.Write("BCD", 3), 3);
    EXPECT_EQ(std::memcmp(io.Buffer(), "xyz\0aBCD", 8), 0);

    // Shrinking then growing again must not bring old bytes back.
    ASSERT_EQ(io.SetSize(2), B_OK);
    ASSERT_EQ(io.SetSize(5), B_OK);
    EXPECT_EQ(std::memcmp(io.Buffer(), "xy\0\0\0", 5), 0);
    off_t size = 0;
    ASSERT_EQ(io.GetSize(&size), B_OK);
    EXPECT_EQ(size, 5);
}

TEST(MallocIO, ReadsStopAtTheEnd) {
    BMallocIO io;
    io.Write("0123456789", 10);
    char buffer[16] = {};
    EXPECT_EQ(io.ReadAt(8, buffer, sizeof buffer), 2);
    EXPECT_EQ(std::memcmp(buffer, "89", 2), 0);
    EXPECT_EQ(io.ReadAt(10, buffer, 1), 0);
    EXPECT_EQ(io.ReadAt(1000, buffer, 1), 0);
    EXPECT_EQ(io.ReadAt(-1, buffer, 1), B_BAD_VALUE);

    io.Seek(6, SEEK_FROM_START);
    EXPECT_EQ(io.ReadExactly(buffer, 4), B_OK);
    EXPECT_EQ(std::memcmp(buffer, "6789", 4), 0);
    io.Seek(7, SEEK_FROM_START);
    orv::ClearErrorReason();
    EXPECT_EQ(io.ReadExactly(buffer, 4), B_BAD_DATA);
    EXPECT_FALSE(orv::ErrorReason().empty());
    EXPECT_EQ(io.ReadAtExactly(0, buffer, 10), B_OK);
    EXPECT_EQ(io.ReadAtExactly(1, buffer, 10), B_BAD_DATA);
}

// Both streams refuse positions that are negative or would overflow, and leave the
// position where it was.
template <typename IO>
void ExpectSeekBounds(IO& io) {
    constexpr off_t kMax = std::numeric_limits<off_t>::max();
    ASSERT_EQ(io.Seek(3, SEEK_FROM_START), 3);
    EXPECT_LT(io.Seek(-4, SEEK_FROM_CURRENT), 0);
    EXPECT_LT(io.Seek(-1, SEEK_FROM_START), 0);
    EXPECT_LT(io.Seek(kMax, SEEK_FROM_CURRENT), 0);
    EXPECT_LT(io.Seek(kMax, SEEK_FROM_END), 0);
    EXPECT_LT(io.Seek(0, 7), 0);
    EXPECT_EQ(io.Position(), 3);
    EXPECT_EQ(io.Seek(-3, SEEK_FROM_CURRENT), 0);
}

TEST(MallocIO, SeekAndWriteBounds) {
    BMallocIO io;
    io.Write("abcdef", 6);
    ExpectSeekBounds(io);
    constexpr off_t kMax = std::numeric_limits<off_t>::max();
    EXPECT_EQ(io.WriteAt(kMax - 1, "ab", 2), B_BAD_VALUE);
    EXPECT_EQ(io.WriteAt(-1, "ab", 2), B_BAD_VALUE);
    EXPECT_EQ(io.SetSize(-1), B_BAD_VALUE);
    EXPECT_EQ(io.BufferLength(), 6u);
}

TEST(MemoryIO, WritesStayInsideTheGivenMemory) {
    char memory[8] = "-------";
    BMemoryIO io(static_cast<void*>(memory), 6);
    ExpectSeekBounds(io);
    EXPECT_EQ(io.WriteAt(4, "wxyz", 4), 2);
    EXPECT_EQ(std::memcmp(memory, "----wx-", 8), 0);
    EXPECT_EQ(io.WriteAt(6, "z", 1), 0);
    EXPECT_EQ(io.WriteExactly("abc", 3), B_OK);
    io.Seek(5, SEEK_FROM_START);
    EXPECT_EQ(io.WriteExactly("ab", 2), B_IO_ERROR);
    EXPECT_EQ(memory[6], '-');

    // The readable length can shrink and grow back, never past the memory.
    EXPECT_EQ(io.SetSize(2), B_OK);
    char buffer[8];
    EXPECT_EQ(io.ReadAt(0, buffer, 8), 2);
    EXPECT_EQ(io.SetSize(7), B_BAD_VALUE);
    EXPECT_EQ(io.SetSize(6), B_OK);
    EXPECT_EQ(io.ReadAt(0, buffer, 8), 6);
}

TEST(MemoryIO, ConstMemoryIsReadOnly) {
    const char memory[] = "lecture";
    BMemoryIO io(static_cast<const void*>(memory), 7);
    char buffer[8] = {};
    EXPECT_EQ(io.Read(buffer, 100), 7);
    EXPECT_STREQ(buffer, "lecture");
    EXPECT_EQ(io.WriteAt(0, "x", 1), B_NOT_ALLOWED);
    EXPECT_EQ(io.SetSize(1), B_NOT_ALLOWED);
    off_t size = 0;
    ASSERT_EQ(io.GetSize(&size), B_OK);
    EXPECT_EQ(size, 7);
}

TEST(ImageLimits, EdgesOfTheLimit) {
    struct Case {
        uint64 width, height;
        status_t expected;
    };
    const Case cases[] = {
        {1, 1, B_OK},
        {0, 10, B_BAD_VALUE},
        {10, 0, B_BAD_VALUE},
        {65535, 4096, B_OK},  // 268,431,360 pixels, just under 2^28
        {65536, 1, B_BAD_VALUE},
        {1, 65536, B_BAD_VALUE},
        {16384, 16384, B_OK},  // exactly 2^28
        {16384, 16385, B_NO_MEMORY},
        {65535, 65535, B_NO_MEMORY},
        {uint64(1) << 32, uint64(1) << 32, B_BAD_VALUE},  // a product that would wrap
    };
    for (const Case& c : cases) {
        orv::ClearErrorReason();
        EXPECT_EQ(orv::CheckImageSize(c.width, c.height), c.expected)
            << c.width << " x " << c.height;
        EXPECT_EQ(orv::ErrorReason().empty(), c.expected == B_OK);
    }
}
