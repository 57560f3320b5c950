// SPDX-License-Identifier: MIT
#include "ui/RunReports.h"

#include "ui/Messages.h"

RunReports::RunReports() : BLooper("run reports") {}

void RunReports::MessageReceived(BMessage* message) {
    if (message->what != MSG_RUN_DONE) {
        BLooper::MessageReceived(message);
        return;
    }
    std::lock_guard lock(fLock);
    fReports.push_back(*message);
    fArrived.notify_all();
}

std::optional<BMessage> RunReports::WaitFor(size_t number, std::chrono::milliseconds timeout) {
    std::unique_lock lock(fLock);
    if (!fArrived.wait_for(lock, timeout, [&] { return fReports.size() >= number; })) {
        return std::nullopt;
    }
    return fReports[number - 1];
}

BMessage RunReports::WaitFor(size_t number) {
    std::unique_lock lock(fLock);
    fArrived.wait(lock, [&] { return fReports.size() >= number; });
    return fReports[number - 1];
}
