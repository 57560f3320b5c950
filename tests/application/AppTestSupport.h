// SPDX-License-Identifier: MIT
// Loopers that record what they receive, and a private runtime folder per test.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/application/Looper.h"

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

// Points XDG_RUNTIME_DIR at a fresh private folder for the test's sockets.
class RuntimeFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvane-app-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        fFolder = pattern;
        const char* old = getenv("XDG_RUNTIME_DIR");
        fHadOld = old != nullptr;
        fOld = old ? old : "";
        setenv("XDG_RUNTIME_DIR", fFolder.c_str(), 1);
    }
    void TearDown() override {
        if (fHadOld) {
            setenv("XDG_RUNTIME_DIR", fOld.c_str(), 1);
        } else {
            unsetenv("XDG_RUNTIME_DIR");
        }
        std::error_code ignored;
        std::filesystem::remove_all(fFolder, ignored);
    }

    std::string fFolder;
    std::string fOld;
    bool fHadOld = false;
};
