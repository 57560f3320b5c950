// SPDX-License-Identifier: MIT
// The window's ways in, one instance at a time, and the commands about formats.
#include "app/AppInfo.h"
#include "platform/application/AppDefs.h"
#include "platform/application/InstanceSocket.h"
#include "platform/application/Messenger.h"
#include "tests/cli/CliTestSupport.h"

namespace orv::test {
namespace {

// The first instance: the window on the headless display, driven through its input.
class InstanceTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        fEnv["ORVANE_DISPLAY"] = "headless";
        // This process talks to the instances too: through the same runtime folder.
        setenv("XDG_RUNTIME_DIR", fEnv["XDG_RUNTIME_DIR"].c_str(), 1);
        for (const char* name : {"a", "b", "c"}) {
            WritePhoto(fWork / (std::string(name) + ".jpg"));
        }
    }

    // A program the add-on started is no child of the test: ask it to quit.
    void TearDown() override {
        if (InstanceAnswers(kAppSignature)) {
            BMessenger(kAppSignature).SendMessage(B_QUIT_REQUESTED);
        }
        CliTest::TearDown();
    }

    std::string File(const char* name) const { return (fWork / name).string(); }
};

TEST_F(InstanceTest, ASecondStartHandsItsFilesToTheFirstAndAnAddOnRunEndsIt) {
    std::unique_ptr<Process> first = Start({}, true, "first");
    ASSERT_TRUE(WaitForOutput("first", "fenêtre ouverte : Orvane 2.0 fr")) << Output("first");
    ASSERT_TRUE(InstanceAnswers(kAppSignature));

    const auto started = std::chrono::steady_clock::now();
    const Outcome second = Run({File("a.jpg"), File("b.jpg")});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    ASSERT_TRUE(WaitForOutput("first", "0/2 (0/2)")) << Output("first");

    first->Send("choose M_Translator Image PNG");
    first->Send("click RB_Keep");
    first->Send("click BValider");
    ASSERT_TRUE(WaitForOutput("first", "2/2 (2/2)")) << Output("first");
    EXPECT_TRUE(fs::exists(fWork / "a.png"));
    EXPECT_TRUE(fs::exists(fWork / "b.png"));
    EXPECT_FALSE(first->Wait(200ms)) << "an ordinary run must not end the program";

    // A start with nothing to hand over leaves the window as it is.
    EXPECT_EQ(Run({}).status, 0);

    const Outcome addOn = Run({"--add-on", File("c.jpg")});
    EXPECT_EQ(addOn.status, 0) << addOn.err;
    ASSERT_TRUE(WaitForOutput("first", "0/1 (0/1)")) << Output("first");
    first->Send("click BValider");
    EXPECT_EQ(first->Wait(10s), 0) << Output("first");
    EXPECT_TRUE(fs::exists(fWork / "c.png"));
    EXPECT_FALSE(InstanceAnswers(kAppSignature));
}

TEST_F(InstanceTest, TheAddOnStartsTheProgramWhenNoneRuns) {
    std::unique_ptr<Process> addOn = Start({"--add-on", File("a.jpg")}, false, "addon");
    EXPECT_EQ(addOn->Wait(20s), 0) << Output("addon");
    // The program it started writes to the same error output.
    ASSERT_TRUE(WaitForOutput("addon", "0/1 (0/1)")) << Output("addon");
    ASSERT_TRUE(InstanceAnswers(kAppSignature));

    BMessenger program(kAppSignature);
    ASSERT_EQ(program.SendMessage(B_QUIT_REQUESTED), B_OK);
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (InstanceAnswers(kAppSignature) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(InstanceAnswers(kAppSignature));
}

TEST_F(CliTest, WithoutADisplayTheWindowPointsToConvert) {
    fEnv.erase("ORVANE_DISPLAY");
    const Outcome run = Run({"photo.jpg"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("la fenêtre a besoin d’un écran"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("orvane convert"), std::string::npos);

    // The add-on cannot start a window either, and says the selection went nowhere.
    const Outcome addOn = Run({"--add-on", "photo.jpg"});
    EXPECT_EQ(addOn.status, 1);
    EXPECT_NE(addOn.err.find("n’a pas pu être confiée"), std::string::npos) << addOn.err;
}

TEST_F(CliTest, FormatsListTheCatalogueAndSettingsShowAndChange) {
    const Outcome formats = Run({"formats"});
    ASSERT_EQ(formats.status, 0) << formats.err;
    std::istringstream lines(formats.out);
    std::string line;
    bool png = false;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> cells{std::istream_iterator<std::string>(words), {}};
        if (std::find(cells.begin(), cells.end(), "image/png") != cells.end()) {
            png = std::find(cells.begin(), cells.end(), ".png") != cells.end();
        }
    }
    EXPECT_TRUE(png) << formats.out;

    const Outcome shown = Run({"settings", "PNG"});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("compression"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("entre 0 et 9"), std::string::npos);

    const Outcome changed = Run({"settings", "image/png", "compression=9", "filter=Paeth"});
    ASSERT_EQ(changed.status, 0) << changed.err;
    const std::string saved = ReadFile(fHome / ".config/orvane/translators/png.settings");
    EXPECT_NE(saved.find("compression"), std::string::npos) << saved;

    const Outcome again = Run({"settings", "png"});
    EXPECT_NE(again.out.find("9"), std::string::npos);
    EXPECT_NE(again.out.find("4 (Paeth)"), std::string::npos) << again.out;

    // A refused value says what is allowed, and leaves the saved file as it was.
    const Outcome refused = Run({"settings", "png", "compression=99"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("compression : entre 0 et 9"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(fHome / ".config/orvane/translators/png.settings"), saved);
}

TEST_F(CliTest, VersionSaysInFrenchWhatIsReadWrittenAndWhereFrom) {
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("Orvane 2.0.0, version gamma\nConvertit des images", 0), 0u)
        << version.out;
    for (const char* line :
         {"\nFormats lus : ", "\nFormats écrits : ", "\nModules chargés depuis "}) {
        EXPECT_NE(version.out.find(line), std::string::npos) << line << version.out;
    }
    EXPECT_NE(version.out.find("PNG, "), std::string::npos) << version.out;
    // Words for users only: no internal names, no English, no detour in a folder's path.
    for (const char* word : {"interne", "Program", "Tracker", "x-vnd", "Image PNG", "/../"}) {
        EXPECT_EQ(version.out.find(word), std::string::npos) << word << version.out;
    }
}

}  // namespace
}  // namespace orv::test
