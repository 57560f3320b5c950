// SPDX-License-Identifier: MIT
// A window that records the messages it receives, and a way to hold its thread busy.
#pragma once

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <vector>

#include "platform/display/headless/HeadlessDisplay.h"
#include "platform/interface/Window.h"

namespace orv::test {

inline constexpr auto kWait = std::chrono::seconds(5);

// Posting this keeps the window's thread busy until Release().
inline constexpr uint32 kBusy = FourCC("busy");

class RecordingWindow : public BWindow {
public:
    explicit RecordingWindow(const char* title = "Essai")
        : BWindow(BRect(100, 100, 499, 329), title, B_TITLED_WINDOW_LOOK, B_NORMAL_WINDOW_FEEL,
                  B_NOT_RESIZABLE) {}

    void MessageReceived(BMessage* message) override {
        if (message->what == kBusy) {
            fBusyStarted.set_value();
            fRelease.get_future().wait();
        }
        std::lock_guard lock(fLock);
        fReceived.push_back(*message);
        fChanged.notify_all();
    }

    // Waits until at least `count` messages arrived; returns a copy of them.
    std::vector<BMessage> WaitForMessages(size_t count) {
        std::unique_lock lock(fLock);
        fChanged.wait_for(lock, kWait, [&] { return fReceived.size() >= count; });
        return fReceived;
    }

    // Occupies the window's thread, as a long conversion run does.
    void Occupy() {
        PostMessage(kBusy);
        fBusyStarted.get_future().wait();
    }
    void Release() { fRelease.set_value(); }

    // Quits from the test's thread: the window's thread ends and the window is deleted.
    void Close() {
        Lock();
        Quit();
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<BMessage> fReceived;
    std::promise<void> fBusyStarted;
    std::promise<void> fRelease;
};

}  // namespace orv::test
