// SPDX-License-Identifier: MIT
// Damaged TIFF files: what can be read is given with a damage text that says how much is
// missing, what cannot is refused with libtiff's reason; never a blank or noisy picture
// passed off as whole.
#include "tests/TempFolder.h"
#include "tests/translators/tiff/TIFFTestFiles.h"
#include "translators/tiff/TIFFTranslator.h"

namespace orv::test {
namespace {

constexpr uint32 kWidth = 64;
constexpr uint32 kHeight = 48;

// A picture made by ImageMagick in strips of 8 rows, laid out again by exiftool as many
// writers lay TIFF files out, directory first and strips after it: cutting the end of
// the file then cuts pixels, not the directory.
std::vector<uint8> MakeFile(const orvtest::TempFolder& folder, const std::string& compression) {
    const std::string path = folder / (compression + ".tif");
    EXPECT_TRUE(RunTool("convert -seed 7 -size " + std::to_string(kWidth) + "x" +
                        std::to_string(kHeight) +
                        " plasma:fractal -depth 8 -define tiff:rows-per-strip=8 -compress " +
                        compression + " " + path))
        << "ImageMagick";
    EXPECT_TRUE(RunTool("exiftool -q -overwrite_original -Artist=test " + path)) << "exiftool";
    return ReadFile(path);
}

struct Outcome {
    status_t status = B_ERROR;
    std::unique_ptr<BBitmap> image;
    std::string damage;
    std::string reason;
};

Outcome DecodeWithDamage(TIFFTranslator& translator, const std::vector<uint8>& bytes) {
    BMemoryIO source(bytes.data(), bytes.size());
    ClearErrorReason();
    DecodedImage decoded;
    Outcome outcome;
    outcome.status = translator.DecodePicture(source, &decoded);
    outcome.image = std::move(decoded.bitmap);
    outcome.damage = decoded.damage;
    outcome.reason = ErrorReason();
    return outcome;
}

// Rows [first, last) of both pictures are the same.
void ExpectSameRows(const BBitmap& expected, const BBitmap& actual, uint32 first, uint32 last) {
    for (uint32 y = first; y < last; y++) {
        for (uint32 x = 0; x < expected.PixelWidth(); x++) {
            ASSERT_EQ(PixelValue(expected, x, y) & 0xffffff, PixelValue(actual, x, y) & 0xffffff)
                << "pixel " << x << "," << y;
        }
    }
}

void Corrupt(std::vector<uint8>* file, size_t at, size_t count) {
    for (size_t i = at; i < at + count && i < file->size(); i++) {
        (*file)[i] ^= 0x5a;
    }
}

TEST(TIFFDamageTest, ReadsWhatIsLeftAndSaysHowMuchIsMissing) {
    orvtest::TempFolder folder;
    TIFFTranslator translator;
    const size_t lastLine = kWidth * 3;
    struct Case {
        const char* name;
        const char* compression;
        void (*damage)(std::vector<uint8>*, size_t lastLine);
        const char* says;  // in the damage text
        uint32 goodFirst;  // rows that must read as in the whole file
        uint32 goodAfter;  // and rows from here on, when damage is in the middle
    };
    const Case cases[] = {
        {"uncompressed, missing its last line", "none",
         [](std::vector<uint8>* f, size_t line) { f->resize(f->size() - line); },
         "fichier tronqué : environ 2 % de l'image manque", kHeight - 1, kHeight},
        {"LZW, cut short", "lzw", [](std::vector<uint8>* f, size_t) { f->resize(f->size() - 100); },
         "fichier tronqué", kHeight - 8, kHeight},
        {"Deflate, cut short", "zip",
         [](std::vector<uint8>* f, size_t) { f->resize(f->size() - 100); }, "fichier tronqué",
         kHeight - 8, kHeight},
        {"LZW, a strip damaged", "lzw",
         [](std::vector<uint8>* f, size_t) { Corrupt(f, f->size() / 2, 40); },
         "image TIFF endommagée : environ", 8, 32},
        {"Deflate, a strip damaged", "zip",
         [](std::vector<uint8>* f, size_t) { Corrupt(f, f->size() / 2, 40); },
         "image TIFF endommagée : environ", 8, 32},
        {"JPEG, damaged data", "jpeg",
         [](std::vector<uint8>* f, size_t) { Corrupt(f, f->size() / 2, 40); },
         "image TIFF endommagée", 0, kHeight},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8> file = MakeFile(folder, c.compression);
        Outcome whole = DecodeWithDamage(translator, file);
        ASSERT_EQ(whole.status, B_OK) << whole.reason;
        EXPECT_EQ(whole.damage, "");
        c.damage(&file, lastLine);
        Outcome damaged = DecodeWithDamage(translator, file);
        ASSERT_EQ(damaged.status, B_OK) << damaged.reason;
        ASSERT_NE(damaged.image, nullptr);
        EXPECT_NE(damaged.damage.find(c.says), std::string::npos) << damaged.damage;
        ExpectSameRows(*whole.image, *damaged.image, 0, c.goodFirst);
        ExpectSameRows(*whole.image, *damaged.image, c.goodAfter, kHeight);
    }
}

TEST(TIFFDamageTest, RefusesFilesWithNoPictureLeft) {
    orvtest::TempFolder folder;
    TIFFTranslator translator;
    ::testing::internal::CaptureStderr();
    for (const char* compression : {"none", "lzw"}) {
        SCOPED_TRACE(compression);
        const std::vector<uint8> file = MakeFile(folder, compression);
        // exiftool puts the strips last: cutting at the first strip leaves none of them.
        TIFF* t = TIFFOpen((folder / (std::string(compression) + ".tif")).c_str(), "r");
        ASSERT_NE(t, nullptr);
        const auto first = size_t(TIFFGetStrileOffset(t, 0));
        TIFFClose(t);
        ASSERT_GT(first, 8u);
        const std::vector<uint8> noStrips(file.begin(), file.begin() + first);
        const Outcome outcome = DecodeWithDamage(translator, noStrips);
        EXPECT_NE(outcome.status, B_OK);
        EXPECT_EQ(outcome.image, nullptr);
        EXPECT_NE(outcome.reason, "");
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace orv::test
