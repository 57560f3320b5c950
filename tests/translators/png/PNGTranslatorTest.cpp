// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "tests/translators/common/CodecTestSupport.h"
#include "translators/png/PNGTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kPNG = FourCC("PNG ");

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(ORVANE_CORPUS_DIR) + "/pngsuite/png")) {
        names.push_back(entry.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The references are flat JSON arrays of numbers; nothing more is needed.
std::vector<int> ReadJsonNumbers(const std::string& path) {
    std::vector<int> numbers;
    int value = -1;
    for (uint8 c : ReadFileIfPresent(CorpusPath(path))) {
        if (c >= '0' && c <= '9') {
            value = std::max(value, 0) * 10 + (c - '0');
        } else if (value >= 0) {
            numbers.push_back(std::exchange(value, -1));
        }
    }
    return numbers;
}

uint32 Crc32(const uint8* data, size_t size) {
    uint32 crc = 0xffffffff;
    for (size_t i = 0; i < size * 8; i++) {
        crc ^= (i % 8 == 0) ? data[i / 8] : 0;
        crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
    }
    return ~crc;
}

void PutBig32(uint8* p, uint32 v) {
    for (int i = 0; i < 4; i++) {
        p[i] = uint8(v >> (24 - 8 * i));
    }
}

TEST(PNGTranslator, EveryValidSuiteFileDecodesToItsReference) {
    PNGTranslator translator;
    int checked = 0;
    for (const std::string& name : SuiteFiles()) {
        if (name[0] == 'x') {
            continue;
        }
        SCOPED_TRACE(name);
        std::string stem = "pngsuite/json/" + name.substr(0, name.size() - 4);
        // 16-bit files are compared with an 8-bit reduction, which may round differently.
        std::vector<int> reference = ReadJsonNumbers(stem + "_to8.json");
        if (reference.empty()) {
            reference = ReadJsonNumbers(stem + ".json");
        }
        bool sixteen = *std::max_element(reference.begin(), reference.end()) > 255;
        for (int& v : reference) {
            v = sixteen ? (v * 255 + 32767) / 65535 : v;
        }
        int tolerance = sixteen || name.find("16") != std::string::npos ? 1 : 0;

        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, ReadCorpusFile("pngsuite/png/" + name), &image), B_OK)
            << ErrorReason();
        uint32 width = image->PixelWidth();
        ASSERT_EQ(reference.size(), size_t(width) * image->PixelHeight() * 4);
        int worst = 0;
        bool transparent = false;
        for (size_t i = 0; i < reference.size(); i += 4) {
            const uint8* p = Pixel(*image, uint32(i / 4 % width), uint32(i / 4 / width));
            worst =
                std::max({worst, std::abs(p[2] - reference[i]), std::abs(p[1] - reference[i + 1]),
                          std::abs(p[0] - reference[i + 2]), std::abs(p[3] - reference[i + 3])});
            transparent = transparent || reference[i + 3] < 255;
        }
        EXPECT_LE(worst, tolerance);
        EXPECT_TRUE(!transparent || image->ColorSpace() == B_RGBA32);
        checked++;
    }
    EXPECT_EQ(checked, 161);
}

TEST(PNGTranslator, CorruptFilesAreRefusedWithAReason) {
    PNGTranslator translator;
    int refused = 0;
    for (const std::string& name : SuiteFiles()) {
        if (name[0] == 'x') {
            ExpectRefused(translator, ReadCorpusFile("pngsuite/png/" + name), name);
            refused++;
        }
    }
    EXPECT_EQ(refused, 14);

    std::vector<uint8> png = ReadCorpusFile("pngsuite/png/basn6a08.png");
    ExpectTruncationsRefused(translator, png);
    // A bomb declaring 60000 × 60000 with a valid checksum: only the size check stops it.
    PutBig32(&png[16], 60000);
    PutBig32(&png[20], 60000);
    PutBig32(&png[29], Crc32(&png[12], 17));
    ExpectRefused(translator, png, "bomb");

    const translation_format* format = nullptr;
    BMemoryIO jpeg("\xff\xd8\xff\xe0", 4);
    EXPECT_EQ(translator.IdentifyImage(jpeg, &format), B_NO_TRANSLATOR);
}

TEST(PNGTranslator, RoundTripsAreExact) {
    PNGTranslator translator;
    struct Case {
        bool alpha;
        bool opaqueAlpha;  // a B_RGBA32 image without transparency is written as RGB
        color_space decoded;
    } cases[] = {{true, false, B_RGBA32}, {true, true, B_RGB32}, {false, false, B_RGB32}};
    for (Case c : cases) {
        std::unique_ptr<BBitmap> source = MakePhotoLikeImage(67, 41, c.alpha);
        auto* bits = static_cast<uint8*>(source->Bits());
        for (int32 i = 3; i < source->BitsLength(); i += 4) {
            // In B_RGB32 the fourth byte is not alpha, whatever it holds.
            bits[i] = c.opaqueAlpha ? 255 : c.alpha ? bits[i] : uint8(i);
        }
        std::vector<uint8> png = Encode(translator, *source, kPNG);
        EXPECT_EQ(png[25], c.decoded == B_RGBA32 ? 6 : 2);  // IHDR colour type
        std::unique_ptr<BBitmap> decoded;
        ASSERT_EQ(Decode(translator, png, &decoded), B_OK) << ErrorReason();
        EXPECT_EQ(decoded->ColorSpace(), c.decoded);
        ASSERT_EQ(decoded->PixelWidth(), 67u);
        for (int32 i = 0; i < source->BitsLength(); i++) {
            uint8 expected = (i % 4 == 3 && !c.alpha) ? 255 : bits[i];
            ASSERT_EQ(static_cast<const uint8*>(decoded->Bits())[i], expected) << i;
        }
    }
}

TEST(PNGTranslator, ExifOrientationIsAppliedUnlessTurnedOff) {
    PNGTranslator translator;
    std::unique_ptr<BBitmap> source = MakePhotoLikeImage(30, 20, false);
    std::vector<uint8> png = Encode(translator, *source, kPNG);
    // An eXIf chunk after IHDR: orientation 6, turn 90° clockwise.
    const uint8 exif[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0,
                          3,   0,   0, 0,  1, 0, 6, 0, 0, 0, 0,    0,    0};
    std::vector<uint8> chunk(12 + sizeof(exif));
    PutBig32(&chunk[0], sizeof(exif));
    std::memcpy(&chunk[4], "eXIf", 4);
    std::memcpy(&chunk[8], exif, sizeof(exif));
    PutBig32(&chunk[8 + sizeof(exif)], Crc32(&chunk[4], 4 + sizeof(exif)));
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());

    std::unique_ptr<BBitmap> upright;
    ASSERT_EQ(Decode(translator, png, &upright), B_OK) << ErrorReason();
    ASSERT_EQ(upright->PixelWidth(), 20u);
    ASSERT_EQ(upright->PixelHeight(), 30u);
    EXPECT_EQ(std::memcmp(Pixel(*upright, 19, 0), Pixel(*source, 0, 0), 4), 0);
    EXPECT_EQ(std::memcmp(Pixel(*upright, 0, 29), Pixel(*source, 29, 19), 4), 0);

    auto stored = DecodeAsStored(translator, png);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->PixelWidth(), 30u);
}

TEST(PNGTranslator, SettingsAreHonouredAndFailuresReported) {
    PNGTranslator translator;
    std::unique_ptr<BBitmap> image = MakePhotoLikeImage(200, 150, true);
    size_t normal = Encode(translator, *image, kPNG).size();
    ASSERT_EQ(translator.Settings().Set("compression", 0), B_OK);
    ASSERT_EQ(translator.Settings().Set("filter", 0), B_OK);
    // Level 0 stores the rows: 4 bytes a pixel and a filter byte a row.
    EXPECT_GT(Encode(translator, *image, kPNG).size(), size_t(200 * 4 + 1) * 150);
    EXPECT_LT(normal * 4, size_t(200 * 150 * 4));
    ASSERT_EQ(translator.Settings().Set("compression", 6), B_OK);
    ASSERT_EQ(translator.Settings().Set("filter", 5), B_OK);

    ExpectWriteFailureReported(translator, *image, kPNG);
}

}  // namespace
}  // namespace orv::test
