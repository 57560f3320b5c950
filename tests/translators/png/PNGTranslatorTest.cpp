// SPDX-License-Identifier: MIT
#include <algorithm>
#include <cstring>

#include "tests/translators/common/ForeignFiles.h"
#include "tests/translators/common/PixelWorkCheck.h"
#include "tests/translators/png/PngTestFiles.h"

namespace orv::test {
namespace {

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(CorpusPath("pngsuite/png"), error)) {
        names.push_back(entry.path().filename());
    }
    EXPECT_FALSE(error) << CorpusPath("pngsuite/png") << ": " << error.message();
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

// Where the chunk of that type starts (its length field), or 0 when the file has none.
size_t FindChunk(const std::vector<uint8>& png, const char* type) {
    for (size_t at = 8; at + 12 <= png.size();) {
        if (std::memcmp(&png[at + 4], type, 4) == 0) {
            return at;
        }
        at += 12 + (size_t(png[at]) << 24 | size_t(png[at + 1]) << 16 | size_t(png[at + 2]) << 8 |
                    png[at + 3]);
    }
    return 0;
}

TEST(PNGTranslator, EveryValidSuiteFileDecodesToItsReference) {
    ORV_NEED_CORPUS();
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
        ASSERT_FALSE(reference.empty()) << "no reference for " << name;
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

TEST(PNGTranslator, CorruptSuiteFilesAreRefusedWithAReason) {
    ORV_NEED_CORPUS();
    PNGTranslator translator;
    int refused = 0;
    for (const std::string& name : SuiteFiles()) {
        if (name == "xcsn0g01.png") {
            // Image data whose checksum does not match is shown, and the damage said.
            const DecodedImage damaged =
                DecodeWhole(translator, ReadCorpusFile("pngsuite/png/" + name));
            EXPECT_NE(damaged.bitmap, nullptr);
            EXPECT_NE(damaged.damage.find("endommagé"), std::string::npos) << damaged.damage;
        } else if (name[0] == 'x') {
            ExpectRefused(translator, ReadCorpusFile("pngsuite/png/" + name), name);
            refused++;
        }
    }
    EXPECT_EQ(refused, 13);

    std::vector<uint8> png = ReadCorpusFile("pngsuite/png/basn6a08.png");
    // A bomb declaring 60000 × 60000 with a valid checksum: only the size check stops it.
    PutBig32(&png[16], 60000);
    PutBig32(&png[20], 60000);
    PutBig32(&png[29], Crc32(&png[12], 17));
    ExpectRefused(translator, png, "bomb");
}

TEST(PNGTranslator, ImageMagickFilesDecodeToTheirSource) {
    ORV_NEED_PROGRAMS("convert");
    struct Case {
        const char* name;
        Samples source;
        uint8 type;  // what ImageMagick is asked for, and what the file must then hold
        uint8 depth;
        bool interlaced;
        bool transparentEntry;          // a tRNS chunk
        const char* holding = nullptr;  // the kind of picture ImageMagick is to hold instead
    };
    using enum PatternAlpha;
    const Case cases[] = {
        {"grey 1-bit", PatternPicture(1, 255, 2, kNone), 0, 1, false, false},
        {"grey 2-bit, interlaced", PatternPicture(1, 255, 4, kNone), 0, 2, true, false},
        {"grey 4-bit", PatternPicture(1, 255, 16, kNone), 0, 4, false, false},
        {"grey 8-bit", PatternPicture(1, 255, 256, kNone), 0, 8, false, false},
        {"grey 16-bit, interlaced", PatternPicture(1, 65535, 1000, kNone), 0, 16, true, false},
        {"grey with a transparent level", PatternPicture(2, 255, 200, kFirstValueTransparent), 0, 8,
         false, true},
        {"grey and alpha 8-bit", PatternPicture(2, 255, 256, kEveryLevel), 4, 8, false, false},
        {"grey and alpha 16-bit", PatternPicture(2, 65535, 1000, kEveryLevel), 4, 16, false, false},
        {"RGB 8-bit", PatternPicture(3, 255, 851, kNone), 2, 8, false, false},
        {"RGB 8-bit, interlaced", PatternPicture(3, 255, 851, kNone), 2, 8, true, false},
        {"RGB 16-bit", PatternPicture(3, 65535, 851, kNone), 2, 16, false, false},
        {"RGB with a transparent colour", PatternPicture(4, 255, 851, kFirstValueTransparent), 2, 8,
         false, true},
        {"palette 1-bit", PatternPicture(3, 255, 2, kNone), 3, 1, false, false},
        {"palette 2-bit", PatternPicture(3, 255, 4, kNone), 3, 2, false, false},
        {"palette 4-bit, interlaced", PatternPicture(3, 255, 16, kNone), 3, 4, true, false},
        {"palette 8-bit", PatternPicture(3, 255, 200, kNone), 3, 8, false, false},
        {"palette with translucent entries", PatternPicture(4, 255, 12, kEveryLevel), 3, 8, false,
         true, "PaletteAlpha"},
        {"RGBA 8-bit", PatternPicture(4, 255, 851, kEveryLevel), 6, 8, false, false},
        {"RGBA 8-bit, interlaced", PatternPicture(4, 255, 851, kEveryLevel), 6, 8, true, false},
        {"RGBA 16-bit, interlaced", PatternPicture(4, 65535, 851, kEveryLevel), 6, 16, true, false},
    };
    PNGTranslator translator;
    ForeignFiles files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Without a background colour, which would take a palette entry of its own.
        std::vector<std::string> options = {
            "-define",    "png:exclude-chunks=bKGD",
            "-define",    "png:bit-depth=" + std::to_string(c.depth),
            "-interlace", c.interlaced ? "PNG" : "None"};
        // Asked for a colour type, ImageMagick drops a palette's translucent entries; it
        // keeps them when it holds the picture as such a palette.
        if (c.holding != nullptr) {
            options.insert(options.end(), {"-type", c.holding});
        } else {
            options.insert(options.end(), {"-define", "png:color-type=" + std::to_string(c.type)});
        }
        options.push_back("PNG:made.png");
        ASSERT_TRUE(files.Convert(c.source, options));
        const std::vector<uint8> png = files.Read("made.png");
        ASSERT_GT(png.size(), 33u);
        EXPECT_EQ(png[24], c.depth);
        EXPECT_EQ(png[25], c.type);
        EXPECT_EQ(png[28], c.interlaced ? 1 : 0);
        EXPECT_EQ(FindChunk(png, "tRNS") != 0, c.transparentEntry);

        // 16-bit samples are rounded to 8 bits; ImageMagick rounds the colours of a
        // translucent palette through its own samples, a level off at times.
        ExpectDecodesTo(translator, png, c.source,
                        c.source.maxval > 255 || c.holding != nullptr ? 1 : 0);
        ExpectPixelWorkAsFiltersDoIt(translator, png);
    }
}

// What the corrupt files of the public suites try, done to a file of our own: each must be
// refused with a reason.
TEST(PNGTranslator, DamagedFilesAreRefusedWithAReason) {
    PNGTranslator translator;
    const std::vector<uint8> good = Encode(translator, *MakePhotoLikeImage(40, 30, true), kPNG);
    ASSERT_NE(FindChunk(good, "IDAT"), 0u);
    // Rewrites the header's field at `offset` and its checksum.
    const auto header = [&good](size_t offset, uint8 value) {
        std::vector<uint8> png = good;
        png[offset] = value;
        PutBig32(&png[29], Crc32(&png[12], 17));
        return png;
    };
    std::vector<uint8> bomb = good;  // 60000 × 60000 with a valid checksum
    PutBig32(&bomb[16], 60000);
    PutBig32(&bomb[20], 60000);
    PutBig32(&bomb[29], Crc32(&bomb[12], 17));
    std::vector<uint8> noData = good;
    const size_t idat = FindChunk(good, "IDAT");
    noData.erase(noData.begin() + ptrdiff_t(idat),
                 noData.begin() + ptrdiff_t(FindChunk(good, "IEND")));
    std::vector<uint8> headerChecksum = good;
    headerChecksum[29] ^= 0x01;
    std::vector<uint8> crlf = good;  // the signature's line ending turned into CR LF
    crlf.insert(crlf.begin() + 5, '\r');
    std::vector<uint8> lowercase = good;
    lowercase[1] = 'p';

    const std::pair<const char*, std::vector<uint8>> damaged[] = {
        {"a signature byte changed", lowercase},
        {"the signature's line ending changed", crlf},
        {"a colour type that does not exist", header(25, 1)},
        {"a bit depth of 0", header(24, 0)},
        {"a bit depth of 3", header(24, 3)},
        {"an unknown interlace method", header(28, 2)},
        {"a wrong header checksum", headerChecksum},
        {"no image data", noData},
        {"a size no bitmap may have", bomb},
    };
    for (const auto& [what, png] : damaged) {
        ExpectRefused(translator, png, what);
    }

    const translation_format* format = nullptr;
    BMemoryIO jpeg("\xff\xd8\xff\xe0", 4);
    EXPECT_EQ(translator.IdentifyImage(jpeg, &format), B_NO_TRANSLATOR);
}

// A file that ends early gives the rows it holds and says how much is missing; one that
// ends before any row is refused, and damaged data is said, never passed off.
TEST(PNGTranslator, DamageIsReportedWithWhatCouldBeRead) {
    PNGTranslator translator;
    ASSERT_EQ(translator.Settings().Set("compression", 0), B_OK);  // rows stored as they are
    const auto source = NoisePicture(64, 100, false);
    const std::vector<uint8> whole = Encode(translator, *source, kPNG);
    RestoreDefaults(translator);
    const std::vector<ChunkInfo> chunks = ListChunks(whole);
    ASSERT_EQ(chunks[1].type, "IDAT");
    const size_t data = chunks[1].offset + 8;
    const size_t rowBytes = 64 * 3 + 1;

    ExpectRefused(translator, std::vector<uint8>(whole.begin(), whole.begin() + 40), "no data");
    // About 30 rows of 100: 70 % missing, the rows read exact.
    std::vector<uint8> cut(whole.begin(),
                           whole.begin() + ptrdiff_t(data + 2 + 5 + 30 * rowBytes + 7));
    DecodedImage partial = DecodeWhole(translator, cut);
    ASSERT_NE(partial.bitmap, nullptr);
    EXPECT_EQ(partial.damage, "fichier tronqué : environ 70 % de l'image manque");
    for (uint32 y = 0; y < 30; y++) {
        ASSERT_EQ(std::memcmp(Pixel(*partial.bitmap, 0, y), Pixel(*source, 0, y), 64 * 4), 0) << y;
    }
    ExpectPixelWorkAsFiltersDoIt(translator, cut);  // the missing rows are worked too
    // Every row there, the end missing.
    cut.assign(whole.begin(), whole.end() - 6);
    DecodedImage ended = DecodeWhole(translator, cut);
    EXPECT_TRUE(SamePixels(*ended.bitmap, *source));
    EXPECT_EQ(ended.damage, "fichier PNG tronqué après l'image");
    // A checksum that does not match: the data is used, and the damage said.
    std::vector<uint8> flipped = whole;
    flipped[data + 2 + 5 + 50 * rowBytes] ^= 0x40;
    DecodedImage damaged = DecodeWhole(translator, flipped);
    ASSERT_NE(damaged.bitmap, nullptr);
    EXPECT_NE(damaged.damage.find("endommagé"), std::string::npos) << damaged.damage;
    EXPECT_TRUE(DecodeWhole(translator, whole).damage.empty());
}

// The memory a picture is decoded into may hold an earlier picture's bytes: a whole file,
// one cut short and one whose checksum does not match decode the same whatever it held.
TEST(PNGTranslator, DecodingDependsOnlyOnTheFile) {
    PNGTranslator translator;
    ASSERT_EQ(translator.Settings().Set("compression", 0), B_OK);  // big enough to be kept
    const std::vector<uint8> whole = Encode(translator, *NoisePicture(800, 500, false), kPNG);
    RestoreDefaults(translator);
    const std::vector<uint8> cut(whole.begin(), whole.begin() + ptrdiff_t(whole.size() / 2));
    std::vector<uint8> flipped = whole;
    flipped[whole.size() / 2] ^= 0x40;
    const std::vector<uint8>* const files[] = {&whole, &cut, &flipped};
    for (const std::vector<uint8>* file : files) {
        SCOPED_TRACE(file == &whole ? "whole" : file == &cut ? "cut" : "flipped");
        DecodedImage decoded[2];
        for (const uint8 fill : {0x00, 0xa5}) {
            ReleaseKeptPictureMemory();
            FillKeptPictureMemory(size_t(4) << 20, 4, fill);
            decoded[fill != 0] = DecodeWhole(translator, *file);
            ASSERT_NE(decoded[fill != 0].bitmap, nullptr);
        }
        EXPECT_EQ(decoded[0].damage, decoded[1].damage);
        EXPECT_EQ(std::memcmp(decoded[0].bitmap->Bits(), decoded[1].bitmap->Bits(),
                              size_t(decoded[0].bitmap->BitsLength())),
                  0);
    }
    ReleaseKeptPictureMemory();
}

// Image data that does not fill the picture exactly is damage, said as such, never a
// picture passed off as whole: a header claiming one row more or one row less than the
// data holds.
TEST(PNGTranslator, ImageDataOfTheWrongLengthIsDamage) {
    PNGTranslator translator;
    const auto source = NoisePicture(64, 100, false);
    const std::vector<uint8> whole = Encode(translator, *source, kPNG);
    for (const uint32 height : {99u, 101u}) {
        SCOPED_TRACE(height);
        std::vector<uint8> png = whole;
        PutBig32(&png[20], height);
        PutBig32(&png[29], Crc32(&png[12], 17));
        DecodedImage decoded = DecodeWhole(translator, png);
        ASSERT_NE(decoded.bitmap, nullptr);
        EXPECT_NE(decoded.damage.find("endommagé"), std::string::npos) << decoded.damage;
        for (uint32 y = 0; y < 99; y++) {
            ASSERT_EQ(std::memcmp(Pixel(*decoded.bitmap, 0, y), Pixel(*source, 0, y), 64 * 4), 0)
                << y;
        }
    }
}

// The shape of a file that once took 2 GB: 207 bytes declaring a text chunk of 2 GB. A
// block that would be kept is refused by the bound before anything is read for it; one
// that would not is never read, and the file, with no image data, is refused.
TEST(PNGTranslator, AHugeDeclaredChunkIsRefusedUnread) {
    PNGTranslator translator;
    const std::vector<uint8> head = Encode(translator, *TestPicture(4, 4, false), kPNG);
    struct Case {
        const char* type;
        std::string keyword;
        bool kept;
    } cases[] = {{"tEXt", "XML:com.adobe.xmp", true},
                 {"iTXt", "XML:com.adobe.xmp", true},
                 {"zTXt", "Raw profile type exif", true},
                 {"iCCP", "ICC Profile", true},
                 {"tEXt", "Comment", false},
                 {"abCd", "", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.keyword);
        std::vector<uint8> png(head.begin(), head.begin() + 33);
        std::vector<uint8> body(c.keyword.begin(), c.keyword.end());
        body.resize(162, 0);
        std::vector<uint8> text = Chunk(c.type, body);
        PutBig32(&text[0], 0x7ffffff0);
        png.insert(png.end(), text.begin(), text.end());
        png.resize(207);
        std::unique_ptr<BBitmap> image;
        EXPECT_NE(Decode(translator, png, &image), B_OK);
        EXPECT_EQ(ErrorReason().find("trop grand") != std::string::npos, c.kept) << ErrorReason();
        EXPECT_EQ(ErrorReason().find("mémoire"), std::string::npos) << ErrorReason();
    }
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
    RestoreDefaults(translator);

    ExpectWriteFailureReported(translator, *image, kPNG);
}

}  // namespace
}  // namespace orv::test
