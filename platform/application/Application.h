// SPDX-License-Identifier: MIT
// BApplication: the process's application object and its looper, run on the main thread.
//
// Run() empties the application's queue on the calling thread until Quit(). A display
// whose own event loop must own the main thread installs it with SetExternalLoop: Run()
// then runs that loop instead, which watches WakeupFd() and calls ProcessPendingMessages().
//
// Single launch: the application listens on its signature's socket (InstanceSocket.h)
// and posts every message another process sends it into its own queue. A second start
// finds the first through IsAnotherInstanceRunning() and hands it its files with
// SendToRunningInstance() instead of opening a window.
#pragma once

#include <functional>
#include <string>

#include "platform/application/AppDefs.h"
#include "platform/application/InstanceSocket.h"
#include "platform/application/Looper.h"
#include "platform/application/Messenger.h"

class BApplication : public BLooper {
public:
    // Claims the signature (unless ClaimSignature() already did in this process): when
    // another instance runs, InitCheck() is B_ALREADY_RUNNING and nothing is served.
    explicit BApplication(const char* signature);
    BApplication(const char* signature, status_t* error);
    ~BApplication() override;

    status_t InitCheck() const { return fInitStatus; }

    // Runs the application's loop on the calling thread; returns once it has quit, after
    // quitting every other running looper (the windows).
    thread_id Run() override;
    // Ends Run() after the message at hand (from the loop's thread) or as soon as possible
    // (from another thread). The application object is not deleted: its owner does that.
    void Quit() override;
    bool QuitRequested() override;

    virtual void ReadyToRun();
    // Files opened with the application (B_REFS_RECEIVED, field "refs").
    virtual void RefsReceived(BMessage* message);
    // B_REFS_RECEIVED and B_READY_TO_RUN go to their hooks; the rest as BLooper does.
    void DispatchMessage(BMessage* message, BHandler* handler) override;

    // For an event loop other than ours on the main thread: WakeupFd() becomes readable
    // whenever messages wait; ProcessPendingMessages() handles every waiting message and
    // returns false once the application has quit (the loop's `quit` was then called).
    int WakeupFd() const { return fWakeFd; }
    bool ProcessPendingMessages();
    void SetExternalLoop(std::function<void()> run, std::function<void()> quit);

    // Claims `signature` for this process before the application object exists, so that a
    // program can learn it is the second instance before it builds any window.
    // B_ALREADY_RUNNING when another instance answers.
    static status_t ClaimSignature(const char* signature);
    static bool IsAnotherInstanceRunning(const char* signature);
    static status_t SendToRunningInstance(const char* signature, const BMessage& message);

protected:
    void MessagePosted() override;

private:
    void Init(const char* signature);

    std::string fSignature;
    status_t fInitStatus = B_NO_INIT;
    int fWakeFd = -1;
    std::function<void()> fExternalRun;
    std::function<void()> fExternalQuit;
    bool fLoopEnded = false;
};

extern BApplication* be_app;
extern BMessenger be_app_messenger;
