// SPDX-License-Identifier: MIT
// RunReports: a looper that keeps the end-of-run reports a window sends it (see
// OrvWindow::SetRunObserver), for a thread that waits for them: the command line waits for
// its one run, the tests for each of theirs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/application/Looper.h"

class RunReports : public BLooper {
public:
    RunReports();

    void MessageReceived(BMessage* message) override;

    // The report of run number `number` (from 1), once it came; nullopt when it did not
    // come within `timeout`.
    std::optional<BMessage> WaitFor(size_t number, std::chrono::milliseconds timeout);
    BMessage WaitFor(size_t number);

private:
    std::mutex fLock;
    std::condition_variable fArrived;
    std::vector<BMessage> fReports;
};
