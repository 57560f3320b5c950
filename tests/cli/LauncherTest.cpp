// SPDX-License-Identifier: MIT
// The application object in process: every file list reaches the window, which replaces
// its list, and closing the window ends the application.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/AppInfo.h"
#include "app/OrvLauncher.h"
#include "platform/display/headless/HeadlessDisplay.h"
#include "platform/translation/TranslatorRoster.h"
#include "tests/TempFolder.h"
#include "ui/Messages.h"
#include "ui/OrvWindow.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(fRoot / "run");
        fs::permissions(fRoot / "run", fs::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (fRoot / "run").c_str(), 1);
        fDisplay = orv::HeadlessDisplay::Install();
    }
    void TearDown() override { orv::SetDisplayBackend(nullptr); }

    BMessage FileList(uint32 what, int count) const {
        BMessage message(what);
        for (int i = 0; i < count; ++i) {
            const std::string number = std::to_string(i);
            const entry_ref ref(fRoot.string(), "f" + number + ".jpg");
            message.AddRef("refs", &ref);
        }
        return message;
    }

    static bool Eventually(const std::function<bool()>& condition) {
        for (auto end = std::chrono::steady_clock::now() + 5s;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(5ms)) {
            if (condition()) {
                return true;
            }
        }
        return false;
    }

    orvtest::TempFolder fTemp;
    fs::path fRoot = fTemp.Path();
    std::shared_ptr<orv::HeadlessDisplay> fDisplay;
    BTranslatorRoster fRoster;  // no translators: the lists are only counted
};

TEST_F(LauncherTest, ListsReachTheWindowAndClosingItEndsTheApplication) {
    auto* launcher = new OrvLauncher(orv::kAppSignature, &fRoster);
    ASSERT_EQ(launcher->InitCheck(), B_OK);
    OrvWindow* window = launcher->Window();
    const orv::WindowId windowId = window->Id();
    const auto refCount = [window] {
        window->Lock();
        const int32 count = window->RefCount();
        window->Unlock();
        return count;
    };

    std::thread user([&] {
        const BMessage files = FileList(MSG_FILES, 3);
        launcher->PostMessage(&files);
        EXPECT_TRUE(Eventually([&] { return refCount() == 3; }));

        // Files opened with the application replace the list, they are not added to it.
        const BMessage opened = FileList(B_REFS_RECEIVED, 1);
        launcher->PostMessage(&opened);
        EXPECT_TRUE(Eventually([&] { return refCount() == 1; }));

        EXPECT_EQ(fDisplay->Close(windowId), B_OK);
    });
    launcher->Run();  // returns once closing the window has quit the application
    user.join();
    EXPECT_FALSE(fDisplay->IsOpen(windowId));

    // A list arriving after the window has gone is dropped, not posted to freed memory.
    BMessage late = FileList(MSG_FILES, 2);
    launcher->MessageReceived(&late);
    late.what = B_REFS_RECEIVED;
    launcher->RefsReceived(&late);
    EXPECT_TRUE(launcher->QuitRequested());
    delete launcher;
}

}  // namespace
