// SPDX-License-Identifier: MIT
#include "platform/application/Application.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <utility>

BApplication* be_app = nullptr;
BMessenger be_app_messenger;

namespace {

// The signature this process serves, claimed once per process.
std::mutex gServerLock;
std::unique_ptr<orv::InstanceServer> gServer;
std::string gClaimedSignature;

}  // namespace

BApplication::BApplication(const char* signature) : BLooper("application") {
    Init(signature);
}

BApplication::BApplication(const char* signature, status_t* error) : BLooper("application") {
    Init(signature);
    if (error != nullptr) {
        *error = fInitStatus;
    }
}

void BApplication::Init(const char* signature) {
    fSignature = signature ? signature : "";
    fWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    be_app = this;
    be_app_messenger = BMessenger(this);

    fInitStatus = ClaimSignature(fSignature.c_str());
    if (fInitStatus != B_OK) {
        return;
    }
    // Messages from other processes reach the queue by token: one that arrives while this
    // object is being destroyed finds it gone instead of posting into freed memory.
    uint64 token = Token();
    std::lock_guard lock(gServerLock);
    fInitStatus = gServer->Serve(
        [token](BMessage&& message) { BLooper::PostToToken(token, std::move(message), nullptr); });
}

BApplication::~BApplication() {
    {
        std::lock_guard lock(gServerLock);
        if (gServer != nullptr && gClaimedSignature == fSignature) {
            gServer.reset();  // stops serving and removes the socket
            gClaimedSignature.clear();
        }
    }
    if (be_app == this) {
        be_app = nullptr;
        be_app_messenger = BMessenger();
    }
    if (fWakeFd >= 0) {
        close(fWakeFd);
    }
}

status_t BApplication::ClaimSignature(const char* signature) {
    if (signature == nullptr || signature[0] == '\0') {
        return B_BAD_VALUE;
    }
    std::lock_guard lock(gServerLock);
    if (gServer != nullptr) {
        return gClaimedSignature == signature ? B_OK : B_BAD_VALUE;
    }
    auto server = std::make_unique<orv::InstanceServer>();
    status_t status = server->Claim(signature);
    if (status == B_OK) {
        gServer = std::move(server);
        gClaimedSignature = signature;
    }
    return status;
}

bool BApplication::IsAnotherInstanceRunning(const char* signature) {
    {
        std::lock_guard lock(gServerLock);
        if (gServer != nullptr && gClaimedSignature == signature) {
            return false;  // the instance answering is this process
        }
    }
    return orv::InstanceAnswers(signature);
}

status_t BApplication::SendToRunningInstance(const char* signature, const BMessage& message) {
    return orv::SendToInstance(signature, message);
}

// ---- the loop

thread_id BApplication::Run() {
    SetLoopThread();
    SetRunning(true);
    PostMessage(B_READY_TO_RUN);
    if (fExternalRun) {
        fExternalRun();
    } else {
        Posted next;
        while (NextMessage(&next, true) && DispatchPosted(next)) {
        }
    }
    fLoopEnded = true;
    SetRunning(false);
    BLooper::QuitAll(this);
    return Thread();
}

bool BApplication::ProcessPendingMessages() {
    if (fLoopEnded) {
        return false;
    }
    uint64 count = 0;
    [[maybe_unused]] ssize_t got = read(fWakeFd, &count, sizeof count);
    // Only what waits now: a handler that keeps posting must not starve the display, whose
    // next call comes through the wakeup it just caused.
    int32 waiting = CountQueuedMessages();
    bool going = true;
    Posted next;
    for (int32 i = 0; going && i < waiting && NextMessage(&next, false); ++i) {
        going = DispatchPosted(next);
    }
    if (going && !StopRequested()) {
        return true;
    }
    fLoopEnded = true;
    if (fExternalQuit) {
        fExternalQuit();
    }
    return false;
}

void BApplication::SetExternalLoop(std::function<void()> run, std::function<void()> quit) {
    fExternalRun = std::move(run);
    fExternalQuit = std::move(quit);
}

void BApplication::MessagePosted() {
    uint64 one = 1;
    [[maybe_unused]] ssize_t written = write(fWakeFd, &one, sizeof one);
}

void BApplication::Quit() {
    if (IsLooperThread()) {
        StopAfterCurrentMessage();
    } else {
        RequestStop();
    }
}

bool BApplication::QuitRequested() {
    return true;
}

void BApplication::ReadyToRun() {}

void BApplication::RefsReceived(BMessage* /*message*/) {}

void BApplication::DispatchMessage(BMessage* message, BHandler* handler) {
    if (message != nullptr && handler == this) {
        switch (message->what) {
            case B_REFS_RECEIVED:
                RefsReceived(message);
                return;
            case B_READY_TO_RUN:
                ReadyToRun();
                return;
            default:
                break;
        }
    }
    BLooper::DispatchMessage(message, handler);
}
