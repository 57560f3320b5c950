// SPDX-License-Identifier: MIT
#include "translators/qoi/QOITranslator.h"

#include "platform/storage/MimeType.h"
#include "platform/support/Message.h"
#include "platform/translation/ColorManagement.h"
#include "tests/translators/common/CodecTestSupport.h"

namespace orv::test {
namespace {

constexpr uint32 kQOI = FourCC("qoif");

std::vector<uint8> Header(uint32 width, uint32 height, uint8 channels) {
    return {'q',
            'o',
            'i',
            'f',
            uint8(width >> 24),
            uint8(width >> 16),
            uint8(width >> 8),
            uint8(width),
            uint8(height >> 24),
            uint8(height >> 16),
            uint8(height >> 8),
            uint8(height),
            channels,
            0};
}

void AppendEnd(std::vector<uint8>* bytes) {
    bytes->insert(bytes->end(), {0, 0, 0, 0, 0, 0, 0, 1});
}

class QOITranslatorTest : public ::testing::Test {
protected:
    void TearDown() override { RestoreDefaults(fTranslator); }

    QOITranslator fTranslator;
};

TEST_F(QOITranslatorTest, RoundTripIsExactAndKeepsAlphaOnlyWhenUsed) {
    struct Case {
        bool alpha;
        bool transparent;
        uint8 channels;
        color_space decoded;
    };
    for (Case c : {Case{false, false, 3, B_RGB32}, Case{true, true, 4, B_RGBA32},
                   Case{true, false, 3, B_RGB32}}) {
        auto image = MakeTestImage(37, 23, c.alpha);
        if (c.alpha && !c.transparent) {
            for (uint32 y = 0; y < 23; y++) {
                for (uint32 x = 0; x < 37; x++) {
                    MutablePixel(*image, x, y)[3] = 255;
                }
            }
        }
        std::vector<uint8> bytes = Encode(fTranslator, *image, kQOI);
        ASSERT_GT(bytes.size(), 22u);
        EXPECT_EQ(bytes[12], c.channels);
        auto back = DecodeOK(fTranslator, bytes);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->ColorSpace(), c.decoded);
        ExpectSamePixels(*image, *back);
    }
}

TEST_F(QOITranslatorTest, DecodesHandWrittenChunksInOurByteOrder) {
    // 2 × 2: RGB(10, 20, 30), then DIFF (+1, -1, 0), then RGBA(1, 2, 3, 4), then INDEX of
    // the first pixel (hash (10*3 + 20*5 + 30*7 + 255*11) % 64 = 9).
    std::vector<uint8> bytes = Header(2, 2, 4);
    bytes.insert(bytes.end(),
                 {0xfe, 10, 20, 30, 0x40 | (3 << 4) | (1 << 2) | 2, 0xff, 1, 2, 3, 4, 9});
    AppendEnd(&bytes);
    auto image = DecodeOK(fTranslator, bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->ColorSpace(), B_RGBA32);
    const uint8 expected[4][4] = {
        {30, 20, 10, 255}, {30, 19, 11, 255}, {3, 2, 1, 4}, {30, 20, 10, 255}};
    for (uint32 i = 0; i < 4; i++) {
        EXPECT_EQ(std::memcmp(Pixel(*image, i % 2, i / 2), expected[i], 4), 0) << i;
    }
}

TEST_F(QOITranslatorTest, LinearFilesAreSaidSoAndComeOutInSRGB) {
    // One grey pixel at half the light: linear 128 is sRGB 188; an sRGB file needs no word.
    for (const uint8 space : {0, 1}) {
        std::vector<uint8> bytes = Header(1, 1, 3);
        bytes[13] = space;
        bytes.insert(bytes.end(), {0xfe, 128, 128, 128});
        AppendEnd(&bytes);
        BMemoryIO source(bytes.data(), bytes.size());
        DecodedImage decoded;
        ASSERT_EQ(fTranslator.DecodePicture(source, &decoded), B_OK) << ErrorReason();
        ClearErrorReason();
        auto converter = SRGBConverter::Make(decoded.info.metadata.color);
        EXPECT_EQ(ErrorReason(), "");
        ASSERT_EQ(converter != nullptr, space == 1);
        if (converter != nullptr) {
            ASSERT_EQ(converter->Apply(*decoded.bitmap), B_OK);
            EXPECT_NEAR(Pixel(*decoded.bitmap, 0, 0)[1], 188, 1);
        }
    }
}

TEST_F(QOITranslatorTest, RefusesDamagedFiles) {
    auto image = MakeTestImage(64, 64, true);
    const std::vector<uint8> good = Encode(fTranslator, *image, kQOI);
    ExpectTruncationsRefused(fTranslator, good);

    std::vector<uint8> extra = good;
    extra.push_back(0);
    ExpectRefused(fTranslator, extra, "a byte after the end");

    std::vector<uint8> badChannels = good;
    badChannels[12] = 5;
    ExpectRefused(fTranslator, badChannels, "five channels");
}

TEST_F(QOITranslatorTest, RefusesHugeSizesBeforeReadingPixels) {
    for (auto [w, h] : {std::pair<uint32, uint32>{60000, 60000}, {0, 10}, {70000, 1}}) {
        std::vector<uint8> bytes = Header(w, h, 4);
        bytes.insert(bytes.end(), {0xc0 | 61, 0xc0 | 61});
        AppendEnd(&bytes);
        ExpectRefused(fTranslator, bytes, std::to_string(w) + "x" + std::to_string(h));
    }
}

TEST_F(QOITranslatorTest, IdentifiesOnlyQOI) {
    std::vector<uint8> qoi = Header(1, 1, 3);
    AppendEnd(&qoi);
    const translation_format* format = nullptr;
    BMemoryIO source(qoi.data(), qoi.size());
    ASSERT_EQ(fTranslator.IdentifyImage(source, &format), B_OK);
    EXPECT_EQ(format->type, kQOI);
    EXPECT_STREQ(format->MIME, "image/qoi");

    const uint8 png[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H'};
    BMemoryIO other(png, sizeof(png));
    EXPECT_EQ(fTranslator.IdentifyImage(other, &format), B_NO_TRANSLATOR);
}

// The system's MIME database does not know image/qoi; outputs must still be named .qoi.
TEST_F(QOITranslatorTest, GivesItsTypeAnExtension) {
    BMessage extensions;
    ASSERT_EQ(BMimeType("image/qoi").GetFileExtensions(&extensions), B_OK);
    const char* first = nullptr;
    ASSERT_EQ(extensions.FindString("extensions", &first), B_OK);
    EXPECT_STREQ(first, "qoi");
}

TEST(QOIAddOnTest, ConvertsThroughTheRoster) {
    ExpectAddOnRoundTrip("qoi", FourCC("qoif"), *MakeTestImage(29, 19, true));
}

}  // namespace
}  // namespace orv::test
