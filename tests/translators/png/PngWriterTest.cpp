// SPDX-License-Identifier: MIT
// The PNG writer against libpng's reader: every row filter at the edges of a row, the
// compression levels, the chunk layout of a picture too big for one IDAT chunk, and the
// deflate streams of a big picture's bands joined into one.
#include <libdeflate.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <random>

#include "tests/translators/common/CodecTestSupport.h"
#include "translators/png/DeflateJoin.h"
#include "translators/png/PNGTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kPNG = FourCC("PNG ");

uint32 Big32(const uint8* p) {
    return uint32(p[0]) << 24 | uint32(p[1]) << 16 | uint32(p[2]) << 8 | p[3];
}

// Decoding must give back the very bytes written; in B_RGB32, whose fourth byte is not
// alpha, that byte reads 255.
void ExpectExactRoundTrip(PNGTranslator& translator, const BBitmap& source) {
    std::vector<uint8> png = Encode(translator, source, kPNG);
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, png, &decoded), B_OK) << ErrorReason();
    ASSERT_EQ(decoded->PixelWidth(), source.PixelWidth());
    ASSERT_EQ(decoded->PixelHeight(), source.PixelHeight());
    const bool alpha = source.ColorSpace() == B_RGBA32;
    for (uint32 y = 0; y < source.PixelHeight(); y++) {
        for (uint32 x = 0; x < source.PixelWidth(); x++) {
            const uint8* p = Pixel(source, x, y);
            const uint8 expected[4] = {p[0], p[1], p[2], alpha ? p[3] : uint8(255)};
            ASSERT_EQ(std::memcmp(Pixel(*decoded, x, y), expected, 4), 0) << x << "," << y;
        }
    }
}

TEST(PngWriter, EveryFilterRoundTripsAtEveryRowWidth) {
    PNGTranslator translator;
    // Width 1 has no left neighbour at all; 2 and 67 have one, with RGB and RGBA strides.
    for (int filter = 0; filter <= 5; filter++) {
        ASSERT_EQ(translator.Settings().Set("filter", filter), B_OK);
        for (uint32 width : {1u, 2u, 67u}) {
            for (bool alpha : {false, true}) {
                SCOPED_TRACE(testing::Message() << "filter " << filter << " width " << width
                                                << (alpha ? " RGBA" : " RGB"));
                ExpectExactRoundTrip(translator, *NoisePicture(width, 9, alpha));
                ExpectExactRoundTrip(translator, *TestPicture(width, 9, alpha));
            }
        }
    }
}

TEST(PngWriter, EveryLevelRoundTripsAndHigherLevelsAreNoLarger) {
    PNGTranslator translator;
    std::unique_ptr<BBitmap> picture = TestPicture(160, 120, true);
    size_t previous = SIZE_MAX;
    for (int level : {0, 1, 6, 9}) {
        SCOPED_TRACE(level);
        ASSERT_EQ(translator.Settings().Set("compression", level), B_OK);
        ExpectExactRoundTrip(translator, *picture);
        size_t size = Encode(translator, *picture, kPNG).size();
        EXPECT_LE(size, previous);
        previous = size;
    }
    RestoreDefaults(translator);
}

TEST(PngWriter, LargePicturesAreSplitIntoBoundedChunks) {
    PNGTranslator translator;
    // Noise hardly compresses: about 4 MB of image data, so four chunks at least.
    std::unique_ptr<BBitmap> noise = NoisePicture(1024, 1024, true);
    std::vector<uint8> png = Encode(translator, *noise, kPNG);
    ASSERT_GT(png.size(), size_t(3) << 20);
    std::vector<std::string> types;
    size_t offset = 8;
    while (offset + 12 <= png.size()) {
        uint32 length = Big32(&png[offset]);
        types.emplace_back(reinterpret_cast<const char*>(&png[offset + 4]), 4);
        EXPECT_LE(length, 1u << 20) << types.back();
        offset += 12 + size_t(length);
    }
    EXPECT_EQ(offset, png.size());
    ASSERT_GE(types.size(), 6u);
    EXPECT_EQ(types.front(), "IHDR");
    EXPECT_EQ(types.back(), "IEND");
    EXPECT_EQ(std::count(types.begin(), types.end(), "IDAT"), std::ptrdiff_t(types.size() - 2));
    ExpectExactRoundTrip(translator, *noise);
}

// Streams compressed apart at every level (stored, fixed and dynamic codes alike), each
// but the last made to go on, inflate as one to the pieces joined.
TEST(PngWriter, DeflateStreamsJoinIntoOne) {
    std::vector<std::vector<uint8>> pieces;
    const auto noise = NoisePicture(64, 64, false);
    const auto* bits = static_cast<const uint8*>(noise->Bits());
    pieces.emplace_back(bits, bits + 9000);
    pieces.emplace_back(1, 'a');
    pieces.emplace_back(70000, 'b');  // more than a stored block holds
    std::vector<uint8> text;
    for (int i = 0; i < 3000; i++) {
        text.push_back(uint8("orvane "[i % 7] + i / 700));
    }
    pieces.push_back(text);
    // Bytes of very unequal frequencies: the rarest get the longest codes deflate allows.
    std::mt19937 random(7);
    std::vector<uint8> skewed(60000);
    for (uint8& byte : skewed) {
        byte = uint8(std::countr_zero(random() | 1u << 24) * 7);
    }
    pieces.push_back(skewed);
    for (int level : {0, 1, 6, 12}) {
        SCOPED_TRACE(level);
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
        ASSERT_NE(compressor, nullptr);
        std::vector<uint8> joined;
        std::vector<uint8> expected;
        for (size_t i = 0; i < pieces.size(); i++) {
            std::vector<uint8> stream(
                libdeflate_deflate_compress_bound(compressor, pieces[i].size()));
            stream.resize(libdeflate_deflate_compress(
                compressor, pieces[i].data(), pieces[i].size(), stream.data(), stream.size()));
            ASSERT_FALSE(stream.empty());
            if (i + 1 < pieces.size()) {
                std::vector<uint8> tail;
                ASSERT_TRUE(png::MakeContinuable(stream.data(), stream.size(), &tail));
                stream.insert(stream.end(), tail.begin(), tail.end());
            }
            joined.insert(joined.end(), stream.begin(), stream.end());
            expected.insert(expected.end(), pieces[i].begin(), pieces[i].end());
        }
        libdeflate_free_compressor(compressor);
        libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
        std::vector<uint8> out(expected.size());
        size_t produced = 0;
        EXPECT_EQ(libdeflate_deflate_decompress(inflater, joined.data(), joined.size(), out.data(),
                                                out.size(), &produced),
                  LIBDEFLATE_SUCCESS);
        libdeflate_free_decompressor(inflater);
        EXPECT_EQ(produced, expected.size());
        EXPECT_TRUE(out == expected);
    }
    std::vector<uint8> garbage = {0xff, 0xff, 0xff, 0xff};
    std::vector<uint8> tail;
    EXPECT_FALSE(png::MakeContinuable(garbage.data(), garbage.size(), &tail));
}

// Over 32 MB of rows goes in bands compressed apart: the file still reads exactly. The
// writer's buffers may be memory an earlier picture left, so the file must not depend on
// what they held: with them full of another picture's bytes, the same file comes out.
TEST(PngWriter, ABigPictureInBandsReadsBackExactlyWhateverItsBuffersHeld) {
    PNGTranslator translator;
    // One picture in one piece, one in bands.
    for (const auto& [width, height] : {std::pair(1100u, 900u), std::pair(3100u, 3000u)}) {
        SCOPED_TRACE(width);
        std::unique_ptr<BBitmap> picture = MakePhotoLikeImage(width, height, true);
        ReleaseKeptPictureMemory();
        const std::vector<uint8> fresh = Encode(translator, *picture, kPNG);
        FillKeptPictureMemory(size_t(48) << 20, 4, 0xa5);
        EXPECT_EQ(Encode(translator, *picture, kPNG), fresh);
        ExpectExactRoundTrip(translator, *picture);
    }
    ReleaseKeptPictureMemory();
}

}  // namespace
}  // namespace orv::test
