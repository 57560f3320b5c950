// SPDX-License-Identifier: MIT
// What the program's tests share: a private home (trash, settings), temporary folders,
// pictures written through the real translators, and the main window driven on the
// headless display as a user would drive it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/application/AppDefs.h"
#include "platform/application/Looper.h"
#include "platform/application/Messenger.h"
#include "platform/display/headless/HeadlessDisplay.h"
#include "platform/interface/Bitmap.h"
#include "platform/storage/File.h"
#include "platform/translation/BitmapStream.h"
#include "platform/translation/TranslatorRoster.h"
#include "tests/TempFolder.h"
#include "ui/FormControls.h"
#include "ui/Messages.h"
#include "ui/OrvWindow.h"
#include "ui/RunReports.h"

namespace orv::test {

namespace fs = std::filesystem;
inline constexpr auto kWait = std::chrono::seconds(20);

// A folder removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "orvane-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp";
        }
        fPath = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(fPath, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& Path() const { return fPath; }
    std::string operator/(const std::string& leaf) const { return (fPath / leaf).string(); }

private:
    fs::path fPath;
};

// The headless display, also keeping every text the status bars showed, in order.
class RecordingDisplay : public HeadlessDisplay {
public:
    void ViewChanged(WindowId window, const ViewState& view) override {
        if (view.kind == ViewKind::StatusBar) {
            std::lock_guard lock(fLock);
            if (fProgress.empty() || fProgress.back() != view.trailingText) {
                fProgress.push_back(view.trailingText);
            }
        }
        HeadlessDisplay::ViewChanged(window, view);
    }
    std::vector<std::string> TakeProgress() {
        std::lock_guard lock(fLock);
        return std::exchange(fProgress, {});
    }

private:
    std::mutex fLock;
    std::vector<std::string> fProgress;
};

// The user's home, trash and settings live in a temporary folder for the whole suite, and
// the headless display is the process's display.
class ProgramEnvironment : public testing::Environment {
public:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvane-home-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        fHome = pattern;
        setenv("HOME", fHome.c_str(), 1);
        setenv("XDG_DATA_HOME", (fHome / ".local/share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (fHome / ".config").c_str(), 1);
        fs::create_directories(fHome / ".local/share");
        Display() = std::make_shared<RecordingDisplay>();
        SetDisplayBackend(Display());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(fHome, ignored);
    }
    static std::shared_ptr<RecordingDisplay>& Display() {
        static std::shared_ptr<RecordingDisplay> display;
        return display;
    }
    static fs::path Home() { return fs::path(getenv("HOME")); }

private:
    fs::path fHome;
};

inline testing::Environment* const kProgramEnvironment =
    testing::AddGlobalTestEnvironment(new ProgramEnvironment);

inline std::shared_ptr<RecordingDisplay> TheDisplay() {
    return ProgramEnvironment::Display();
}

using orvtest::Listing;

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A small binary PPM whose pixels differ one from the next (decodable by the PNM add-on).
inline void WritePPM(const fs::path& path, int width = 4, int height = 3) {
    std::string data = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    for (int i = 0; i < width * height; ++i) {
        data += char(i * 20);
        data += char(255 - i * 10);
        data += char(i * 7);
    }
    WriteText(path, data);
}

// The default roster's catalogue index of the first format of that MIME type, or -1.
inline int32 FormatIndex(const OrvWindow& window, const std::string& mime) {
    for (int32 i = 0; i < window.FormatCount(); ++i) {
        if (window.FormatAt(i).MIME == mime) {
            return i;
        }
    }
    return -1;
}

// The main window on the headless display, with a recorder of its runs.
class ProgramWindow {
public:
    explicit ProgramWindow(BTranslatorRoster* roster = nullptr)
        : fDisplay(TheDisplay()),
          fWindow(roster != nullptr ? new OrvWindow(roster) : new OrvWindow()),
          fRecorder(new RunReports()) {
        fRecorder->Run();
        fWindow->SetRunObserver(BMessenger(fRecorder));
        fWindow->Show();
        fId = fWindow->Id();
    }
    ~ProgramWindow() {
        if (fDisplay->IsOpen(fId)) {
            fWindow->Lock();
            fWindow->Quit();
        }
        fRecorder->Lock();
        fRecorder->Quit();
    }
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    OrvWindow* operator->() { return fWindow; }
    OrvWindow& Window() { return *fWindow; }
    WindowId Id() const { return fId; }
    RecordingDisplay& Display() { return *fDisplay; }

    ViewState View(const std::string& name) {
        return fDisplay->FindView(fId, name).value_or(ViewState());
    }

    // A drop of these paths on the view, as a file manager makes it.
    void DropFiles(const std::vector<fs::path>& paths, bool fromAddOn = false) {
        BMessage drop(B_SIMPLE_DATA);
        for (const fs::path& path : paths) {
            const entry_ref ref(path.parent_path().string(), path.filename().string());
            drop.AddRef("refs", &ref);
        }
        if (fromAddOn) {
            drop.AddBool("CalledFromAddOn", true);
        }
        ASSERT_EQ(fDisplay->Drop(fId, form::kView, drop), B_OK);
        // The list is taken once the drop has gone through the queue.
        Sync();
    }

    // Returns once every message posted so far has been handled, and those they posted in
    // turn (a drop posts the file list): a marker posted behind them leaves the queue only
    // after they were handled, and the lock waits for the marker's own turn to end.
    void Sync() {
        for (int round = 0; round < 3; ++round) {
            fWindow->PostMessage(FourCC("sync"));
            const auto deadline = std::chrono::steady_clock::now() + kWait;
            while (fWindow->CountQueuedMessages() > 0) {
                if (std::chrono::steady_clock::now() > deadline) {
                    ADD_FAILURE() << "the window stayed busy";
                    return;
                }
                usleep(500);
            }
            fWindow->Lock();
            fWindow->Unlock();
        }
    }

    void ChooseFormat(const std::string& mime) {
        const int32 index = FormatIndex(*fWindow, mime);
        ASSERT_GE(index, 0) << mime;
        ASSERT_EQ(fDisplay->Choose(fId, form::kFormatMenu, index), B_OK);
    }

    // Presses "Convertir" and waits for the run's report.
    BMessage Convert() {
        EXPECT_EQ(fDisplay->Click(fId, form::kConvert), B_OK);
        const std::optional<BMessage> report = fRecorder->WaitFor(++fRuns, kWait);
        if (!report) {
            ADD_FAILURE() << "no report of run " << fRuns;
        }
        return report.value_or(BMessage());
    }

    bool WaitClosed() {
        return fDisplay->WaitFor([this](const HeadlessDisplay& d) { return !d.IsOpen(fId); },
                                 kWait);
    }

private:
    std::shared_ptr<RecordingDisplay> fDisplay;
    OrvWindow* fWindow;
    RunReports* fRecorder;
    WindowId fId = 0;
    size_t fRuns = 0;
};

}  // namespace orv::test
