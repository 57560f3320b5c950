// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/translation/BitmapStream.h"
#include "tests/translation/TestSupport.h"

namespace {

std::vector<uint8> ReadAll(BPositionIO& stream) {
    off_t size = 0;
    EXPECT_EQ(stream.GetSize(&size), B_OK);
    std::vector<uint8> bytes(static_cast<size_t>(size));
    EXPECT_EQ(stream.ReadAtExactly(0, bytes.data(), bytes.size()), B_OK);
    return bytes;
}

void PutBig32(std::vector<uint8>& bytes, size_t at, uint32 value) {
    bytes[at] = uint8(value >> 24);
    bytes[at + 1] = uint8(value >> 16);
    bytes[at + 2] = uint8(value >> 8);
    bytes[at + 3] = uint8(value);
}

// Header of a 3 × 2 B_RGBA32 bitmap, written out by hand in the stream's big-endian form.
std::vector<uint8> HeaderOf3x2() {
    return {'b',  'i',  't',  's',    // magic
            0x00, 0x00, 0x00, 0x00,   // left 0.0f
            0x00, 0x00, 0x00, 0x00,   // top 0.0f
            0x40, 0x00, 0x00, 0x00,   // right 2.0f
            0x3F, 0x80, 0x00, 0x00,   // bottom 1.0f
            0x00, 0x00, 0x00, 0x0C,   // rowBytes 12
            0x00, 0x00, 0x20, 0x08,   // B_RGBA32
            0x00, 0x00, 0x00, 0x18};  // dataSize 24
}

TEST(BitmapStream, PresentsHeaderBigEndianThenRows) {
    auto bitmap = orvtest::PatternBitmap(3, 2);
    const BBitmap* original = bitmap.get();
    BBitmapStream stream(bitmap.release());
    const std::vector<uint8> bytes = ReadAll(stream);
    ASSERT_EQ(bytes.size(), 32u + 24u);
    EXPECT_EQ(std::vector<uint8>(bytes.begin(), bytes.begin() + 32), HeaderOf3x2());
    EXPECT_EQ(std::memcmp(bytes.data() + 32, original->Bits(), 24), 0);

    // A read that straddles the end of the header and one past the end of the data.
    uint8 middle[6];
    EXPECT_EQ(stream.ReadAt(29, middle, sizeof middle), 6);
    EXPECT_EQ(std::memcmp(middle, bytes.data() + 29, 6), 0);
    uint8 tail[8];
    EXPECT_EQ(stream.ReadAt(52, tail, sizeof tail), 4);
    EXPECT_EQ(stream.ReadAt(56, tail, sizeof tail), 0);
}

TEST(BitmapStream, WrittenInPiecesBuildsTheSameBitmap) {
    auto source = orvtest::PatternBitmap(7, 5);
    BBitmapStream reader(orvtest::PatternBitmap(7, 5).release());
    const std::vector<uint8> bytes = ReadAll(reader);

    // Odd chunk sizes cut the header and the rows at every kind of place.
    for (size_t chunk : {1u, 5u, 31u, 33u, 1000u}) {
        BBitmapStream writer;
        for (size_t at = 0; at < bytes.size(); at += chunk) {
            const size_t size = std::min(chunk, bytes.size() - at);
            ASSERT_EQ(writer.Write(bytes.data() + at, size), ssize_t(size)) << chunk;
        }
        BBitmap* built = nullptr;
        ASSERT_EQ(writer.DetachBitmap(&built), B_OK);
        std::unique_ptr<BBitmap> owned(built);
        EXPECT_TRUE(orvtest::SamePixels(*owned, *source)) << chunk;
        EXPECT_EQ(writer.DetachBitmap(&built), B_ERROR);
    }
}

TEST(BitmapStream, InterchangeHelpersRoundTripThroughAnyStream) {
    auto source = orvtest::PatternBitmap(4, 3, B_RGB32);
    BMallocIO buffer;
    ASSERT_EQ(orv::WriteInterchangeBitmap(*source, buffer), B_OK);
    EXPECT_EQ(buffer.BufferLength(), 32u + 48u);
    buffer.Seek(0, SEEK_FROM_START);
    std::unique_ptr<BBitmap> back;
    ASSERT_EQ(orv::ReadInterchangeBitmap(buffer, &back), B_OK);
    EXPECT_TRUE(orvtest::SamePixels(*back, *source));

    // Cut short anywhere, the stream is refused.
    for (size_t cut : {0u, 10u, 31u, 32u, 79u}) {
        BMemoryIO truncated(static_cast<const uint8*>(buffer.Buffer()), cut);
        EXPECT_NE(orv::ReadInterchangeBitmap(truncated, &back), B_OK) << cut;
        EXPECT_EQ(back, nullptr);
    }
}

struct Header {
    uint32 magic = FourCC("bits");
    float left = 0, top = 0, right = 2, bottom = 1;
    uint32 rowBytes = 12;
    uint32 space = B_RGBA32;
    uint32 dataSize = 24;
};

std::vector<uint8> Bytes(const Header& h) {
    std::vector<uint8> bytes(32);
    PutBig32(bytes, 0, h.magic);
    PutBig32(bytes, 4, std::bit_cast<uint32>(h.left));
    PutBig32(bytes, 8, std::bit_cast<uint32>(h.top));
    PutBig32(bytes, 12, std::bit_cast<uint32>(h.right));
    PutBig32(bytes, 16, std::bit_cast<uint32>(h.bottom));
    PutBig32(bytes, 20, h.rowBytes);
    PutBig32(bytes, 24, h.space);
    PutBig32(bytes, 28, h.dataSize);
    return bytes;
}

TEST(BitmapStream, RefusesForgedHeadersBeforeAllocating) {
    ASSERT_EQ(Bytes(Header{}), HeaderOf3x2());
    const struct {
        const char* what;
        Header header;
    } cases[] = {
        {"magic", {.magic = FourCC("bitt")}},
        {"NaN left", {.left = std::nanf("")}},
        {"infinite bottom", {.bottom = INFINITY}},
        {"fractional right", {.right = 2.5f}},
        {"right before left", {.right = -1}},
        {"side over the limit", {.right = 69999, .rowBytes = 280000, .dataSize = 560000}},
        {"too many pixels", {.right = 59999, .bottom = 39999, .rowBytes = 240000, .dataSize = 0}},
        {"rowBytes too short", {.rowBytes = 8, .dataSize = 16}},
        {"rowBytes padded", {.rowBytes = 16, .dataSize = 32}},
        {"unknown colour space", {.space = 0x1234}},
        {"dataSize larger", {.dataSize = 25}},
        {"dataSize smaller", {.dataSize = 12}},
    };
    for (const auto& c : cases) {
        const std::vector<uint8> header = Bytes(c.header);
        orv::ClearErrorReason();
        BBitmapStream writer;
        EXPECT_LT(writer.Write(header.data(), header.size()), 0) << c.what;
        EXPECT_EQ(writer.Bitmap(), nullptr) << c.what;
        EXPECT_FALSE(orv::ErrorReason().empty()) << c.what;
        // Nothing half-checked is kept: pixels cannot follow a refused header.
        const uint8 pixel[4] = {};
        EXPECT_LT(writer.Write(pixel, sizeof pixel), 0) << c.what;
    }
}

TEST(BitmapStream, RefusesDataBeyondTheDeclaredSize) {
    std::vector<uint8> bytes = HeaderOf3x2();
    bytes.resize(32 + 24, 0x5A);
    BBitmapStream writer;
    ASSERT_EQ(writer.Write(bytes.data(), bytes.size()), ssize_t(bytes.size()));
    const uint8 extra = 1;
    EXPECT_LT(writer.Write(&extra, 1), 0);
    // Rewriting the same header is harmless; changing it is not allowed.
    EXPECT_EQ(writer.WriteAt(0, bytes.data(), 32), 32);
    std::vector<uint8> other = HeaderOf3x2();
    PutBig32(other, 12, std::bit_cast<uint32>(5.0f));
    EXPECT_LT(writer.WriteAt(0, other.data(), 32), 0);
    EXPECT_EQ(static_cast<const uint8*>(writer.Bitmap()->Bits())[23], 0x5A);
}

TEST(BitmapStream, DetachHandsOverTheSameBitmap) {
    auto* bitmap = orvtest::PatternBitmap(2, 2).release();
    auto stream = std::make_unique<BBitmapStream>(bitmap);
    EXPECT_EQ(stream->Bitmap(), bitmap);
    BBitmap* detached = nullptr;
    ASSERT_EQ(stream->DetachBitmap(&detached), B_OK);
    EXPECT_EQ(detached, bitmap);
    stream.reset();  // must not delete the detached bitmap (ASan would tell)
    EXPECT_EQ(detached->PixelWidth(), 2u);
    delete detached;

    BBitmapStream empty;
    EXPECT_EQ(empty.AdoptBitmap(orvtest::PatternBitmap(1, 1).release()), B_OK);
    auto* second = orvtest::PatternBitmap(1, 1).release();
    EXPECT_EQ(empty.AdoptBitmap(second), B_NOT_ALLOWED);
    delete second;
}

}  // namespace
