// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/support/ErrorReason.h"
#include "platform/support/ProgramIdentity.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/PixelRows.h"
#include "platform/translation/TranslationUtils.h"
#include "platform/translation/TranslatorRoster.h"
#include "tests/TempFolder.h"
#include "tests/translation/TestSupport.h"

namespace {

constexpr uint32 kFakeType = FourCC("FAKE");

// The fake's format list and name, built before the ImageTranslator base that points at them.
struct FakeData {
    FakeData(char tag, float quality) {
        formats[0] = {kFakeType, B_TRANSLATOR_BITMAP, quality, 0.5f, "image/x-fake", "Faux"};
        name[0] = tag;
    }
    orv::TranslatorDescription Description() {
        return {name, "translator for tests", 1, name, formats, formats, {}};
    }
    translation_format formats[1];
    char name[2] = {};
};

// A codec of a made-up format: "FAKE" then one byte naming the translator that wrote it.
// It remembers the bitmaps it made and was given, to prove nothing was copied.
class FakeTranslator : private FakeData, public orv::ImageTranslator {
public:
    FakeTranslator(char tag, float quality)
        : FakeData(tag, quality), ImageTranslator(FakeData::Description()), fTag(tag) {}

    status_t IdentifyImage(BPositionIO& source, const translation_format** format) override {
        char magic[4];
        if (source.ReadAt(0, magic, 4) != 4 || std::memcmp(magic, "FAKE", 4) != 0) {
            return B_NO_TRANSLATOR;
        }
        *format = &formats[0];
        return B_OK;
    }

    status_t DecodePicture(BPositionIO&, orv::DecodedImage* picture) override {
        if (status_t status = orv::NewImage(2, 1, false, &picture->bitmap); status != B_OK) {
            return status;
        }
        decoded = picture->bitmap.get();
        return B_OK;
    }

    status_t EncodePicture(const BBitmap& image, const orv::PictureInfo&, uint32,
                           BPositionIO& destination) override {
        encoded = &image;
        const char bytes[5] = {'F', 'A', 'K', 'E', fTag};
        return destination.WriteExactly(bytes, 5);
    }

    const BBitmap* decoded = nullptr;
    const BBitmap* encoded = nullptr;

private:
    char fTag;
};

TEST(TranslatorRoster, ListsTranslatorsAndTheInterchangeFormat) {
    orvtest::ScratchConfig config;
    BTranslatorRoster roster;
    translator_id first = 0, second = 0;
    ASSERT_EQ(roster.AddTranslator(new FakeTranslator('a', 0.5f), &first), B_OK);
    ASSERT_EQ(roster.AddTranslator(new FakeTranslator('b', 0.9f), &second), B_OK);

    translator_id* ids = nullptr;
    int32 count = 0;
    ASSERT_EQ(roster.GetAllTranslators(&ids, &count), B_OK);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(ids[0], first);
    EXPECT_EQ(ids[1], second);
    delete[] ids;

    const translation_format* formats = nullptr;
    ASSERT_EQ(roster.GetOutputFormats(second, &formats, &count), B_OK);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(formats[0].type, kFakeType);
    EXPECT_EQ(formats[1].type, B_TRANSLATOR_BITMAP);
    EXPECT_EQ(formats[1].group, B_TRANSLATOR_BITMAP);
    EXPECT_EQ(roster.GetOutputFormats(99, &formats, &count), B_NO_TRANSLATOR);

    BMessage settings;
    EXPECT_EQ(roster.GetConfigurationMessage(first, &settings), B_OK);
    BView* view = nullptr;
    BRect extent;
    EXPECT_EQ(roster.MakeConfigurationView(first, &settings, &view, &extent), B_ERROR);
}

TEST(TranslatorRoster, EncodingPicksTheBestWriterWithoutCopying) {
    orvtest::ScratchConfig config;
    // Registered worst last and best in the middle, so neither order nor position decides.
    for (const char* order : {"abc", "cab"}) {
        BTranslatorRoster roster;
        FakeTranslator* best = nullptr;
        for (const char* tag = order; *tag != '\0'; ++tag) {
            const float quality = *tag == 'b' ? 0.9f : *tag == 'a' ? 0.6f : 0.3f;
            auto* translator = new FakeTranslator(*tag, quality);
            if (*tag == 'b') {
                best = translator;
            }
            roster.AddTranslator(translator);
        }
        auto* bitmap = orvtest::PatternBitmap(3, 3).release();
        BBitmapStream source(bitmap);
        BMallocIO output;
        ASSERT_EQ(roster.Translate(&source, nullptr, nullptr, &output, kFakeType), B_OK);
        ASSERT_EQ(output.BufferLength(), 5u);
        EXPECT_EQ(static_cast<const char*>(output.Buffer())[4], 'b') << order;
        EXPECT_EQ(best->encoded, bitmap) << "the stream's own bitmap is encoded";
        BBitmap* detached = nullptr;
        ASSERT_EQ(source.DetachBitmap(&detached), B_OK);
        EXPECT_EQ(detached, bitmap);
        delete detached;
    }
}

TEST(TranslatorRoster, NoWriterForAWantedTypeIsAnError) {
    orvtest::ScratchConfig config;
    BTranslatorRoster roster;
    roster.AddTranslator(new FakeTranslator('a', 0.5f));
    BBitmapStream source(orvtest::PatternBitmap(1, 1).release());
    BMallocIO output;
    orv::ClearErrorReason();
    EXPECT_EQ(roster.Translate(&source, nullptr, nullptr, &output, FourCC("PNG ")),
              B_NO_TRANSLATOR);
    EXPECT_FALSE(orv::ErrorReason().empty());
    EXPECT_EQ(output.BufferLength(), 0u);
}

TEST(TranslatorRoster, DecodingHandsOverTheDecodersBitmap) {
    orvtest::ScratchConfig config;
    BTranslatorRoster roster;
    auto* fake = new FakeTranslator('a', 0.5f);
    roster.AddTranslator(fake);
    BMemoryIO file("FAKEa", 5);
    std::unique_ptr<BBitmap> bitmap;
    ASSERT_EQ(BTranslationUtils::GetBitmap(&file, &bitmap, &roster), B_OK);
    EXPECT_EQ(bitmap.get(), fake->decoded);
    EXPECT_EQ(bitmap->PixelWidth(), 2u);

    BMemoryIO text("hello", 5);
    orv::ClearErrorReason();
    EXPECT_EQ(BTranslationUtils::GetBitmap(&text, &roster), nullptr);
    EXPECT_EQ(orv::ErrorReason(), "aucun traducteur ne sait lire ce fichier");
}

TEST(TranslatorRoster, ThroughTheInterchangeStreamWhenNotInProcess) {
    // A plain memory stream in the interchange format reaches the encoder too.
    orvtest::ScratchConfig config;
    BTranslatorRoster roster;
    auto* fake = new FakeTranslator('a', 0.5f);
    roster.AddTranslator(fake);
    auto image = orvtest::PatternBitmap(4, 2);
    BMallocIO interchange;
    ASSERT_EQ(orv::WriteInterchangeBitmap(*image, interchange), B_OK);
    interchange.Seek(0, SEEK_FROM_START);
    BMallocIO output;
    ASSERT_EQ(roster.Translate(&interchange, nullptr, nullptr, &output, kFakeType), B_OK);
    ASSERT_NE(fake->encoded, nullptr);

    // And a decoder writes the interchange format into any stream.
    BMemoryIO file("FAKEa", 5);
    BMallocIO decoded;
    ASSERT_EQ(roster.Translate(&file, nullptr, nullptr, &decoded, B_TRANSLATOR_BITMAP), B_OK);
    EXPECT_EQ(decoded.BufferLength(), 32u + 8u);
}

TEST(TranslatorRoster, LoadsAddOnsAndReportsTheOnesThatFail) {
    orvtest::ScratchConfig config;
    const std::string folder = std::string(ORVANE_BINARY_DIR) + "/translators";
    BTranslatorRoster roster;
    ASSERT_EQ(roster.LoadFolder(folder.c_str()), B_OK);
    int32 count = 0;
    translator_id* ids = nullptr;
    ASSERT_EQ(roster.GetAllTranslators(&ids, &count), B_OK);
    std::unique_ptr<translator_id[]> owned(ids);
    bool foundPnm = false;
    for (int32 i = 0; i < count; ++i) {
        const char* name = nullptr;
        roster.GetTranslatorInfo(ids[i], &name, nullptr, nullptr);
        foundPnm = foundPnm || std::strcmp(name, "Images Netpbm") == 0;
    }
    EXPECT_TRUE(foundPnm);
    for (const auto& failure : roster.LoadFailures()) {
        EXPECT_EQ(failure.path.find("/pnm.so"), std::string::npos) << failure.reason;
    }

    // Loading the same folder again adds nothing: each add-on is loaded once.
    roster.LoadFolder(folder.c_str());
    int32 again = 0;
    translator_id* more = nullptr;
    roster.GetAllTranslators(&more, &again);
    delete[] more;
    EXPECT_EQ(again, count);

    // A file that is no library is skipped, with a reason.
    const std::string bogus = config.Path() + "/faux.so";
    std::ofstream(bogus) << "not an ELF file";
    EXPECT_NE(roster.LoadAddOn(bogus.c_str()), B_OK);
    ASSERT_FALSE(roster.LoadFailures().empty());
    EXPECT_EQ(roster.LoadFailures().back().path, bogus);
    EXPECT_FALSE(roster.LoadFailures().back().reason.empty());
}

TEST(TranslatorRoster, DefaultRosterReadsAPictureFileFromTheEnvironmentFolders) {
    orvtest::ScratchConfig config;
    const char* folders = getenv("ORVANE_TRANSLATORS");
    ASSERT_NE(folders, nullptr) << "the test runner sets ORVANE_TRANSLATORS";
    const std::string path = config.Path() + "/petit.ppm";
    std::ofstream(path, std::ios::binary) << "P6\n2 1\n255\n"
                                          << std::string("\xff\x00\x00\x00\x00\xff", 6);

    entry_ref ref(config.Path(), "petit.ppm");
    std::unique_ptr<BBitmap> bitmap;
    ASSERT_EQ(BTranslationUtils::GetBitmap(&ref, &bitmap), B_OK) << orv::ErrorReason();
    ASSERT_EQ(bitmap->ColorSpace(), B_RGB32);
    const auto* p = static_cast<const uint8*>(bitmap->Bits());
    EXPECT_EQ(p[2], 255);  // red of the first pixel
    EXPECT_EQ(p[4], 255);  // blue of the second

    entry_ref missing(config.Path(), "absent.ppm");
    orv::ClearErrorReason();
    EXPECT_EQ(BTranslationUtils::GetBitmap(&missing), nullptr);
    EXPECT_FALSE(orv::ErrorReason().empty());
}

}  // namespace

// The folders name the program the identity names, and its variable: nothing in the layer
// names Orvane itself.
TEST(TranslatorRoster, DefaultFoldersFollowTheProgramsIdentity) {
    const orv::ProgramIdentity saved = orv::CurrentProgramIdentity();
    orv::SetProgramIdentity({"essai", "ESSAI", "lib/essai/greffons"});
    orvtest::ScopedEnv list("ESSAI_TRANSLATORS", "/un::/deux");
    orvtest::ScopedEnv home("HOME", "/maison");
    const std::vector<std::string> folders = BTranslatorRoster::DefaultFolders();
    orv::SetProgramIdentity(saved);

    ASSERT_EQ(folders.size(), 5u);
    EXPECT_EQ(folders[0], "/un");
    EXPECT_EQ(folders[1], "/deux");
    EXPECT_TRUE(folders[2].ends_with("/../lib/essai/greffons")) << folders[2];
    EXPECT_EQ(folders[4], "/maison/.local/lib/essai/translators");
}
