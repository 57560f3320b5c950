// SPDX-License-Identifier: MIT
#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tests/translators/png/CodecTestSupport.h"
#include "translators/png/PNGTranslator.h"

namespace orv::test {
namespace {

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new FreshConfigEnvironment);
constexpr uint32 kPNG = FourCC("PNG ");

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    if (DIR* dir = opendir(CorpusPath("pngsuite/png").c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name.size() > 4 && name.ends_with(".png")) {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The references are flat JSON arrays of numbers; nothing more is needed.
std::vector<int> ReadJsonNumbers(const std::string& path) {
    std::vector<uint8> text = ReadFile(path);
    std::vector<int> numbers;
    int value = -1;
    for (uint8 c : text) {
        if (std::isdigit(c)) {
            value = (value < 0 ? 0 : value * 10) + (c - '0');
        } else if (value >= 0) {
            numbers.push_back(value);
            value = -1;
        }
    }
    return numbers;
}

uint32 Crc32(const uint8* data, size_t size) {
    uint32 crc = 0xffffffff;
    for (size_t i = 0; i < size; i++) {
        crc ^= data[i];
        for (int k = 0; k < 8; k++) {
            crc = (crc >> 1) ^ (0xedb88320 & (0u - (crc & 1)));
        }
    }
    return ~crc;
}

void PutBig32(uint8* p, uint32 v) {
    p[0] = uint8(v >> 24);
    p[1] = uint8(v >> 16);
    p[2] = uint8(v >> 8);
    p[3] = uint8(v);
}

// A copy of a real file whose header claims another size, with a valid checksum, so that
// only the size check can stop it.
std::vector<uint8> WithDeclaredSize(std::vector<uint8> png, uint32 width, uint32 height) {
    PutBig32(&png[16], width);
    PutBig32(&png[20], height);
    PutBig32(&png[29], Crc32(&png[12], 17));
    return png;
}

TEST(PNGTranslator, EveryValidSuiteFileDecodesToItsReference) {
    PNGTranslator translator;
    std::vector<std::string> names = SuiteFiles();
    ASSERT_GE(names.size(), 170u);
    int checked = 0;
    for (const std::string& name : names) {
        if (name[0] == 'x') {
            continue;
        }
        SCOPED_TRACE(name);
        std::string stem = name.substr(0, name.size() - 4);
        // 16-bit files are compared with their 8-bit reduction, which may round differently.
        std::vector<int> reference =
            ReadJsonNumbers(CorpusPath("pngsuite/json/" + stem + "_to8.json"));
        int tolerance = 1;
        if (reference.empty()) {
            reference = ReadJsonNumbers(CorpusPath("pngsuite/json/" + stem + ".json"));
            tolerance = 0;
        }
        ASSERT_FALSE(reference.empty());
        // A few 16-bit files only have 16-bit references.
        if (*std::max_element(reference.begin(), reference.end()) > 255) {
            for (int& v : reference) {
                v = (v * 255 + 32767) / 65535;
            }
            tolerance = 1;
        }

        std::unique_ptr<BBitmap> image;
        ASSERT_EQ(Decode(translator, ReadFile(CorpusPath("pngsuite/png/" + name)), &image), B_OK)
            << ErrorReason();
        uint32 width = image->PixelWidth(), height = image->PixelHeight();
        ASSERT_EQ(reference.size(), size_t(width) * height * 4);
        bool opaque = true;
        for (size_t i = 3; i < reference.size(); i += 4) {
            opaque = opaque && reference[i] == 255;
        }
        // Alpha comes from the file's colour type or tRNS, not from the pixels: a tRNS that
        // marks an unused colour still makes a B_RGBA32 image.
        if (!opaque) {
            EXPECT_EQ(image->ColorSpace(), B_RGBA32);
        }
        int worst = 0;
        for (uint32 y = 0; y < height; y++) {
            for (uint32 x = 0; x < width; x++) {
                const uint8* p = Pixel(*image, x, y);
                const int* r = &reference[(size_t(y) * width + x) * 4];
                worst = std::max({worst, std::abs(p[2] - r[0]), std::abs(p[1] - r[1]),
                                  std::abs(p[0] - r[2]), std::abs(p[3] - r[3])});
            }
        }
        EXPECT_LE(worst, tolerance);
        checked++;
    }
    EXPECT_EQ(checked, 161);
}

TEST(PNGTranslator, EveryCorruptSuiteFileIsRefusedWithAReason) {
    PNGTranslator translator;
    int refused = 0;
    for (const std::string& name : SuiteFiles()) {
        if (name[0] != 'x') {
            continue;
        }
        SCOPED_TRACE(name);
        std::unique_ptr<BBitmap> image;
        EXPECT_NE(Decode(translator, ReadFile(CorpusPath("pngsuite/png/" + name)), &image), B_OK);
        EXPECT_EQ(image, nullptr);
        EXPECT_FALSE(ErrorReason().empty());
        refused++;
    }
    EXPECT_EQ(refused, 14);
}

TEST(PNGTranslator, IdentifiesOnlyPNG) {
    PNGTranslator translator;
    const translation_format* format = nullptr;
    std::vector<uint8> png = ReadFile(CorpusPath("pngsuite/png/basn2c08.png"));
    BMemoryIO source(png.data(), png.size());
    ASSERT_EQ(translator.IdentifyImage(source, &format), B_OK);
    EXPECT_EQ(format->type, kPNG);
    EXPECT_STREQ(format->MIME, "image/png");

    std::vector<uint8> jpeg = ReadFile(CorpusPath("jpeg/testorig.jpg"));
    BMemoryIO other(jpeg.data(), jpeg.size());
    EXPECT_EQ(translator.IdentifyImage(other, &format), B_NO_TRANSLATOR);
    BMemoryIO empty(png.data(), 4);
    EXPECT_EQ(translator.IdentifyImage(empty, &format), B_NO_TRANSLATOR);
}

TEST(PNGTranslator, RoundTripsAreExact) {
    PNGTranslator translator;
    struct Case {
        bool alpha;
        bool garbageInAlphaByte;  // B_RGB32 pixels whose fourth byte is not 255
        color_space decodedSpace;
    };
    for (Case c :
         {Case{true, false, B_RGBA32}, Case{false, false, B_RGB32}, Case{false, true, B_RGB32}}) {
        std::unique_ptr<BBitmap> original = MakeTestImage(67, 41, c.alpha);
        if (c.garbageInAlphaByte) {
            auto* bits = static_cast<uint8*>(original->Bits());
            for (int32 i = 3; i < original->BitsLength(); i += 4) {
                bits[i] = uint8(i);
            }
        }
        std::vector<uint8> png = Encode(translator, *original, kPNG);
        std::unique_ptr<BBitmap> decoded;
        ASSERT_EQ(Decode(translator, png, &decoded), B_OK) << ErrorReason();
        EXPECT_EQ(decoded->ColorSpace(), c.decodedSpace);
        ASSERT_EQ(decoded->PixelWidth(), 67u);
        ASSERT_EQ(decoded->PixelHeight(), 41u);
        for (uint32 y = 0; y < 41; y++) {
            for (uint32 x = 0; x < 67; x++) {
                const uint8* a = Pixel(*original, x, y);
                const uint8* b = Pixel(*decoded, x, y);
                ASSERT_EQ(std::memcmp(a, b, 3), 0) << x << "," << y;
                ASSERT_EQ(b[3], c.alpha ? a[3] : 255) << x << "," << y;
            }
        }
    }
}

TEST(PNGTranslator, OpaqueAlphaImageIsWrittenWithoutAlpha) {
    PNGTranslator translator;
    std::unique_ptr<BBitmap> image;
    ASSERT_EQ(NewImage(16, 16, true, &image), B_OK);
    std::memset(image->Bits(), 0xff, size_t(image->BitsLength()));
    std::vector<uint8> png = Encode(translator, *image, kPNG);
    ASSERT_GT(png.size(), 26u);
    EXPECT_EQ(png[25], 2);  // colour type RGB in IHDR
}

// An eXIf chunk right after IHDR saying "turn 90° clockwise" (orientation 6).
std::vector<uint8> WithExifOrientation6(const std::vector<uint8>& png) {
    const uint8 exif[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0,
                          3,   0,   0, 0,  1, 0, 6, 0, 0, 0, 0,    0,    0};
    std::vector<uint8> chunk(12 + sizeof(exif));
    PutBig32(&chunk[0], sizeof(exif));
    std::memcpy(&chunk[4], "eXIf", 4);
    std::memcpy(&chunk[8], exif, sizeof(exif));
    PutBig32(&chunk[8 + sizeof(exif)], Crc32(&chunk[4], 4 + sizeof(exif)));
    std::vector<uint8> out(png.begin(), png.begin() + 33);
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

TEST(PNGTranslator, ExifOrientationIsAppliedUnlessTurnedOff) {
    PNGTranslator translator;
    std::unique_ptr<BBitmap> original = MakeTestImage(30, 20, false);
    std::vector<uint8> png = WithExifOrientation6(Encode(translator, *original, kPNG));
    std::unique_ptr<BBitmap> upright;
    ASSERT_EQ(Decode(translator, png, &upright), B_OK) << ErrorReason();
    ASSERT_EQ(upright->PixelWidth(), 20u);
    ASSERT_EQ(upright->PixelHeight(), 30u);
    EXPECT_EQ(std::memcmp(Pixel(*upright, 19, 0), Pixel(*original, 0, 0), 4), 0);
    EXPECT_EQ(std::memcmp(Pixel(*upright, 0, 29), Pixel(*original, 29, 19), 4), 0);

    ASSERT_EQ(translator.Settings().Set("orientation", 0), B_OK);
    std::unique_ptr<BBitmap> stored;
    ASSERT_EQ(Decode(translator, png, &stored), B_OK);
    EXPECT_EQ(stored->PixelWidth(), 30u);
    ASSERT_EQ(translator.Settings().Set("orientation", 1), B_OK);
}

TEST(PNGTranslator, HostileFilesAreRefused) {
    PNGTranslator translator;
    std::vector<uint8> png = ReadFile(CorpusPath("pngsuite/png/basn6a08.png"));
    ExpectTruncationsRefused(translator, png);

    // A decompression bomb is stopped by its header, before anything is allocated.
    for (auto [w, h] : {std::pair{60000u, 60000u}, std::pair{70000u, 1u}}) {
        std::unique_ptr<BBitmap> image;
        EXPECT_NE(Decode(translator, WithDeclaredSize(png, w, h), &image), B_OK);
        EXPECT_EQ(image, nullptr);
        EXPECT_FALSE(ErrorReason().empty());
    }
}

TEST(PNGTranslator, SettingsChangeTheOutput) {
    PNGTranslator translator;
    std::unique_ptr<BBitmap> image = MakeTestImage(200, 150, false);
    std::vector<uint8> normal = Encode(translator, *image, kPNG);
    ASSERT_EQ(translator.Settings().Set("compression", 0), B_OK);
    ASSERT_EQ(translator.Settings().Set("filter", 0), B_OK);
    std::vector<uint8> stored = Encode(translator, *image, kPNG);
    // Level 0 stores the rows: at least 3 bytes a pixel.
    EXPECT_GT(stored.size(), size_t(200 * 150 * 3));
    EXPECT_LT(normal.size() * 4, stored.size());
    std::unique_ptr<BBitmap> decoded;
    ASSERT_EQ(Decode(translator, stored, &decoded), B_OK);
    EXPECT_EQ(PSNR(*image, *decoded), 99.0);
    ASSERT_EQ(translator.Settings().Set("compression", 6), B_OK);
    ASSERT_EQ(translator.Settings().Set("filter", 5), B_OK);
}

TEST(PNGTranslator, FailedWritesAreReported) {
    PNGTranslator translator;
    std::unique_ptr<BBitmap> image = MakeTestImage(300, 200, true);
    ExpectWriteFailureReported(translator, *image, kPNG);
    ClearErrorReason();
    BMallocIO out;
    EXPECT_NE(translator.EncodeImage(*image, FourCC("JPEG"), out), B_OK);
}

}  // namespace
}  // namespace orv::test
