// SPDX-License-Identifier: MIT
// Loopers that record what they receive, a wait for a thread to block, and a private
// runtime folder per test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/application/Looper.h"
#include "tests/TempFolder.h"

// Records the `what` of every message its MessageReceived sees, and whether it was
// destroyed, so quitting can be checked from outside.
class RecordingLooper : public BLooper {
public:
    explicit RecordingLooper(std::atomic<bool>* destroyed = nullptr) : fDestroyed(destroyed) {}
    ~RecordingLooper() override {
        if (fDestroyed != nullptr) {
            *fDestroyed = true;
        }
    }

    void MessageReceived(BMessage* message) override {
        std::lock_guard lock(fLock);
        fReceived.push_back(*message);
        fChanged.notify_all();
    }
    bool QuitRequested() override {
        std::lock_guard lock(fLock);
        ++fQuitRequests;
        fChanged.notify_all();
        return fAgreeToQuit;
    }

    // Waits until `count` messages were received; false after `timeout`.
    bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock lock(fLock);
        return fChanged.wait_for(lock, timeout, [&] { return fReceived.size() >= count; });
    }
    std::vector<BMessage> Received() {
        std::lock_guard lock(fLock);
        return fReceived;
    }
    int QuitRequests() {
        std::lock_guard lock(fLock);
        return fQuitRequests;
    }
    void SetAgreeToQuit(bool agree) { fAgreeToQuit = agree; }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<BMessage> fReceived;
    int fQuitRequests = 0;
    std::atomic<bool> fAgreeToQuit{true};
    std::atomic<bool>* fDestroyed;
};

// Waits until thread `tid` of this process sleeps (in a lock or on a condition) or has
// ended; false when it kept running for a few seconds.
inline bool WaitUntilAsleep(pid_t tid) {
    const std::string path = "/proc/self/task/" + std::to_string(tid) + "/stat";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream file(path);
        std::string stat;
        std::getline(file, stat);
        // The state follows the command name, which ends with the last ')'.
        const size_t name = stat.rfind(')');
        if (stat.empty() || (name != std::string::npos && name + 2 < stat.size() &&
                             (stat[name + 2] == 'S' || stat[name + 2] == 'D'))) {
            return true;
        }
        std::this_thread::yield();
    }
    return false;
}

// Points XDG_RUNTIME_DIR at a fresh private folder for the test's sockets.
class RuntimeFolderTest : public ::testing::Test {
protected:
    orvtest::TempFolder fRuntime;
    const std::string fFolder = fRuntime.Path();
    orvtest::ScopedEnv fRuntimeVariable{"XDG_RUNTIME_DIR", fFolder.c_str()};
};
