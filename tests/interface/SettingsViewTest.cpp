// SPDX-License-Identifier: MIT
// The settings view built from a translator's schema: each control shows the current
// value, and a change is applied and saved at once.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>

#include "platform/interface/CheckBox.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/SettingsView.h"
#include "platform/interface/Slider.h"
#include "platform/translation/ImageTranslator.h"
#include "tests/interface/InterfaceTestUtil.h"

namespace orv::test {
namespace {

constexpr SettingChoice kSpeeds[] = {{0, "Lent"}, {4, "Moyen"}, {9, "Rapide"}};
constexpr SettingSchema kSchema[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité", 80, 1, 100},
    {"progressive", SettingSchema::Kind::Bool, "Progressif", 0},
    {"speed", SettingSchema::Kind::Choice, "Vitesse", 4, 0, 0, kSpeeds},
};
constexpr translation_format kFormats[] = {
    {FourCC("Test"), FourCC("bits"), 0.5f, 0.5f, "image/x-test", "Essai"}};

class TestTranslator : public ImageTranslator {
public:
    TestTranslator()
        : ImageTranslator(TranslatorDescription{"Images d'essai", "pour les tests", 100,
                                                "settings-view-test", kFormats, kFormats,
                                                kSchema}) {}
    status_t IdentifyImage(BPositionIO&, const translation_format**) override {
        return B_NO_TRANSLATOR;
    }
    status_t DecodePicture(BPositionIO&, DecodedImage*) override { return B_NO_TRANSLATOR; }
    status_t EncodePicture(const BBitmap&, const PictureInfo&, uint32, BPositionIO&) override {
        return B_NO_TRANSLATOR;
    }
};

class SettingsViewTest : public testing::Test {
protected:
    SettingsViewTest() {
        char pattern[] = "/tmp/orv-settings-view-XXXXXX";
        fConfig = mkdtemp(pattern);
        setenv("XDG_CONFIG_HOME", fConfig.c_str(), 1);
    }
    ~SettingsViewTest() override {
        unsetenv("XDG_CONFIG_HOME");
        std::filesystem::remove_all(fConfig);
    }

    std::string fConfig;
};

TEST_F(SettingsViewTest, ChangesApplyAndAreSaved) {
    auto display = HeadlessDisplay::Install();
    RegisterSettingsViews();
    TestTranslator translator;
    BView* view = nullptr;
    BRect extent;
    ASSERT_EQ(translator.MakeConfigurationView(nullptr, &view, &extent), B_OK);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(extent.LeftTop(), BPoint(0, 0));
    EXPECT_EQ(extent, view->Bounds());

    // The controls start from the current values.
    EXPECT_EQ(static_cast<BSlider*>(view->FindView("quality"))->Value(), 80);
    EXPECT_EQ(static_cast<BCheckBox*>(view->FindView("progressive"))->Value(), 0);
    BMenu* speeds = static_cast<BMenuField*>(view->FindView("speed"))->Menu();
    EXPECT_EQ(speeds->IndexOf(speeds->FindMarked()), 1);

    extent.OffsetBy(300, 100);
    auto* window = new RecordingWindow("Options avancées");
    window->AddChild(view);
    window->Show();
    const WindowId id = window->Id();
    ASSERT_EQ(display->SetValue(id, "quality", 42), B_OK);
    ASSERT_EQ(display->Click(id, "progressive"), B_OK);
    ASSERT_EQ(display->Choose(id, "speed", "Rapide"), B_OK);
    // Wait for the last change to be on disk, not only in memory: the view sets a value,
    // then saves it, and the file may lag the in-memory value by a moment.
    TranslatorSettings reread("settings-view-test", kSchema);
    EXPECT_TRUE(display->WaitFor(
        [&](const HeadlessDisplay&) { return reread.Load() == B_OK && reread.Int32("speed") == 9; },
        kWait));
    EXPECT_EQ(translator.Settings().Int32("quality"), 42);
    EXPECT_EQ(translator.Settings().Int32("progressive"), 1);
    EXPECT_EQ(translator.Settings().Int32("speed"), 9);
    EXPECT_EQ(display->FindView(id, "SettingsStatus")->text, "");

    // Saved: a fresh copy of the settings reads them back.
    EXPECT_EQ(reread.Int32("quality"), 42);
    EXPECT_EQ(reread.Int32("progressive"), 1);
    EXPECT_EQ(reread.Int32("speed"), 9);

    // A change that cannot be saved says so instead of passing for done. (A file where
    // the settings folder should be stops even root.)
    const std::string folder = fConfig + "/orvane/translators";
    std::filesystem::remove_all(folder);
    std::FILE* blocker = std::fopen(folder.c_str(), "w");
    ASSERT_NE(blocker, nullptr);
    std::fclose(blocker);
    ASSERT_EQ(display->SetValue(id, "quality", 43), B_OK);
    EXPECT_TRUE(display->WaitFor(
        [&](const HeadlessDisplay& d) {
            auto status = d.FindView(id, "SettingsStatus");
            return status && !status->text.empty();
        },
        kWait));
    window->Close();
    SetConfigurationViewFactory(nullptr);
}

}  // namespace
}  // namespace orv::test
