// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/translation/TranslatorSettings.h"
#include "tests/translation/TestSupport.h"

namespace {

constexpr orv::SettingChoice kModes[] = {{0, "rapide"}, {5, "soigné"}};
constexpr orv::SettingSchema kSchema[] = {
    {"quality", orv::SettingSchema::Kind::Int, "Qualité", 90, 1, 100},
    {"orientation", orv::SettingSchema::Kind::Bool, "Appliquer l'orientation EXIF", 1},
    {"mode", orv::SettingSchema::Kind::Choice, "Mode", 0, 0, 0, kModes},
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(TranslatorSettings, PersistsAndReloads) {
    orvtest::ScratchConfig config;
    orv::TranslatorSettings settings("essai", kSchema);
    EXPECT_EQ(settings.Int32("quality"), 90);
    ASSERT_EQ(settings.Set("quality", 42), B_OK);
    ASSERT_EQ(settings.SetFromText("orientation", "false"), B_OK);
    ASSERT_EQ(settings.SetFromText("mode", "soigné"), B_OK);

    const std::string file = config.Path() + "/orvane/translators/essai.settings";
    EXPECT_EQ(ReadFile(file), "quality=42\norientation=false\nmode=5\n");
    // Only the settings file is left in the folder: no temporary survives a save.
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(config.Path() + "/orvane/translators"),
                      std::filesystem::directory_iterator()),
        1);

    orv::TranslatorSettings again("essai", kSchema);
    ASSERT_EQ(again.Load(), B_OK);
    EXPECT_EQ(again.Int32("quality"), 42);
    EXPECT_FALSE(again.Bool("orientation"));
    EXPECT_EQ(again.Int32("mode"), 5);

    BMessage message;
    again.ToMessage(&message);
    EXPECT_EQ(message.GetInt32("quality", 0), 42);
    EXPECT_FALSE(message.GetBool("orientation", true));
}

TEST(TranslatorSettings, RefusesValuesOutsideTheSchema) {
    orvtest::ScratchConfig config;
    orv::TranslatorSettings settings("essai", kSchema);
    EXPECT_EQ(settings.Set("quality", 0), B_BAD_VALUE);
    EXPECT_EQ(settings.Set("quality", 101), B_BAD_VALUE);
    EXPECT_EQ(settings.Set("orientation", 2), B_BAD_VALUE);
    EXPECT_EQ(settings.Set("mode", 3), B_BAD_VALUE);
    EXPECT_EQ(settings.Set("inconnu", 1), B_BAD_VALUE);
    EXPECT_EQ(settings.SetFromText("quality", "50abc"), B_BAD_VALUE);
    EXPECT_EQ(settings.SetFromText("quality", ""), B_BAD_VALUE);
    EXPECT_EQ(settings.SetFromText("mode", "lent"), B_BAD_VALUE);
    EXPECT_EQ(settings.Int32("quality"), 90);
    EXPECT_EQ(settings.Int32("inconnu"), 0);
    // Nothing refused reached the disk.
    EXPECT_FALSE(std::filesystem::exists(config.Path() + "/orvane/translators/essai.settings"));

    BMessage message;
    message.AddInt32("quality", 100);
    message.AddInt32("mode", 4);  // refused, the rest is taken
    message.AddString("autre", "x");
    EXPECT_EQ(settings.FromMessage(message), B_BAD_VALUE);
    EXPECT_EQ(settings.Int32("quality"), 100);
    EXPECT_EQ(settings.Int32("mode"), 0);
}

TEST(TranslatorSettings, ParseIgnoresGarbageAndKeepsWhatItCannotRead) {
    orv::TranslatorSettings settings("essai", kSchema);
    settings.Parse(
        "# commentaire\n"
        "quality = 77 \r\n"
        "quality=4000\n"  // out of range: the earlier value stays
        "orientation\n"   // no '='
        "=5\n"
        "mode=-2147483649\n"  // does not even fit
        "inconnu=3\n"
        "orientation=non\n"
        "\x01\xff=\n");
    EXPECT_EQ(settings.Int32("quality"), 77);
    EXPECT_FALSE(settings.Bool("orientation"));
    EXPECT_EQ(settings.Int32("mode"), 0);
}

TEST(TranslatorSettings, LoadStartsFromDefaultsAndToleratesAnyFile) {
    orvtest::ScratchConfig config;
    orv::TranslatorSettings settings("essai", kSchema);
    EXPECT_EQ(settings.Load(), B_OK);  // no file yet
    ASSERT_EQ(settings.Set("quality", 10), B_OK);

    const std::string file = config.Path() + "/orvane/translators/essai.settings";
    std::ofstream(file) << "mode=5\n";
    ASSERT_EQ(settings.Load(), B_OK);
    EXPECT_EQ(settings.Int32("quality"), 90);  // absent from the file: back to the default
    EXPECT_EQ(settings.Int32("mode"), 5);

    std::ofstream(file, std::ios::binary) << std::string(200000, '\0');
    EXPECT_NE(settings.Load(), B_OK);
    EXPECT_EQ(settings.Int32("mode"), 0);
}

TEST(TranslatorSettings, ConcurrentChangesLeaveAConsistentFile) {
    orvtest::ScratchConfig config;
    orv::TranslatorSettings settings("essai", kSchema);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&settings, t] {
            for (int i = 1; i <= 25; ++i) {
                EXPECT_EQ(settings.Set("quality", t * 25 + i), B_OK);
                const int32 seen = settings.Int32("quality");
                EXPECT_TRUE(seen >= 1 && seen <= 100);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    // The file holds the value in memory: the last save wrote the last change.
    orv::TranslatorSettings reread("essai", kSchema);
    ASSERT_EQ(reread.Load(), B_OK);
    EXPECT_EQ(reread.Int32("quality"), settings.Int32("quality"));
    EXPECT_EQ(
        std::distance(std::filesystem::directory_iterator(config.Path() + "/orvane/translators"),
                      std::filesystem::directory_iterator()),
        1);
}

}  // namespace
