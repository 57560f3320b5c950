// SPDX-License-Identifier: MIT
// BLooper: a message queue and the thread that empties it.
//
// Messages are handled one at a time, in the order posted, on the looper's own thread,
// with the looper locked: whoever else touches the looper's state locks it first. Run()
// starts the thread; Quit() ends it and deletes the looper, which is therefore always
// made with new.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/application/Handler.h"

class BLooper : public BHandler {
public:
    explicit BLooper(const char* name = nullptr);
    // Only through Quit() once Run() was called: the looper's thread deletes it.
    ~BLooper() override;

    // Starts the looper's thread and returns its id.
    virtual thread_id Run();
    // Ends the looper and deletes it. From the looper's own thread (inside a handler), the
    // looper ends once the current message is handled. From another thread, the caller
    // waits until the looper's thread has ended; any lock it held on the looper is given up.
    virtual void Quit();
    // Asked when a B_QUIT_REQUESTED message arrives: true lets the looper quit.
    virtual bool QuitRequested();

    // Handles one message: B_QUIT_REQUESTED aimed at the looper is answered here, before
    // any MessageReceived sees it (QuitRequested(), then Quit() when it agrees); every
    // other message goes to the target handler's MessageReceived.
    virtual void DispatchMessage(BMessage* message, BHandler* handler);

    // Posts a copy of the message (the caller keeps its own) to the looper itself, or to
    // one of its handlers. B_BAD_HANDLER when the handler is not the looper's, B_BAD_VALUE
    // for no message.
    status_t PostMessage(uint32 what);
    status_t PostMessage(const BMessage* message);
    status_t PostMessage(uint32 what, BHandler* handler);
    status_t PostMessage(const BMessage* message, BHandler* handler);

    // The message being handled, valid while its handler runs; nullptr outside.
    BMessage* CurrentMessage() const { return fCurrentMessage; }
    // Takes the current message over: the caller deletes it.
    BMessage* DetachCurrentMessage();

    // Recursive, from any thread; always true once it returns.
    bool Lock();
    void Unlock();
    // True when the calling thread holds the lock.
    bool IsLocked() const;
    int32 CountLocks() const { return fLockCount; }

    void AddHandler(BHandler* handler);
    bool RemoveHandler(BHandler* handler);
    int32 CountHandlers() const;
    bool HasHandler(const BHandler* handler) const;

    // Messages posted and not yet handled.
    int32 CountQueuedMessages() const;
    bool IsRunning() const { return fRunning.load(); }
    // True on the looper's own thread.
    bool IsLooperThread() const;
    thread_id Thread() const { return fThreadId; }

    // A number naming this looper for as long as it lives; messengers keep it rather than
    // a pointer, so a message to a looper that is gone fails instead of crashing.
    uint64 Token() const { return fToken; }
    // Posts a copy to the looper with that token; B_BAD_HANDLER when it is gone.
    static status_t PostToToken(uint64 token, const BMessage* message, BHandler* handler);
    // Posts the message itself, without copying it (a file list may be large).
    static status_t PostToToken(uint64 token, BMessage&& message, BHandler* handler);
    static bool IsTokenAlive(uint64 token);
    // Quits every running looper but `except` (the application ending its windows), each
    // through its own Quit(), and waits for their threads, and a few seconds at most for
    // those already quitting by themselves.
    static void QuitAll(const BLooper* except);

protected:
    struct Posted {
        std::unique_ptr<BMessage> message;
        BHandler* handler;
    };

    // Takes the next posted message; waits for one when `wait` is true. False when there is
    // none (without waiting) or the looper was told to stop from another thread.
    bool NextMessage(Posted* next, bool wait);
    // Handles one posted message under the lock; false when the looper is to stop.
    bool DispatchPosted(Posted& posted);
    // Tells a waiting loop to stop after the message at hand, from any thread.
    void RequestStop();
    bool StopRequested() const;
    // From inside a handler: the loop stops once the current message is handled.
    void StopAfterCurrentMessage() { fQuitAfterDispatch = true; }
    // Called after every post, on the posting thread, with the queue locked (so it must not
    // post): a loop that does not wait on the queue (the application's, under a display)
    // uses it to wake itself.
    virtual void MessagePosted() {}
    // Marks the calling thread as the one running the loop.
    void SetLoopThread();
    void SetRunning(bool running) { fRunning = running; }

private:
    void Loop();
    status_t Post(std::unique_ptr<BMessage> message, BHandler* handler);
    // Makes the calling thread the one that ends the looper; false when another has.
    bool ClaimQuit();

    // Lock.
    std::recursive_mutex fLock;
    std::atomic<std::thread::id> fLockOwner{};
    int32 fLockCount = 0;

    // Queue.
    mutable std::mutex fQueueLock;
    std::condition_variable fQueueChanged;
    std::deque<Posted> fQueue;
    bool fStop = false;

    std::vector<BHandler*> fHandlers;
    BMessage* fCurrentMessage = nullptr;
    std::unique_ptr<BMessage> fCurrentOwned;
    bool fQuitAfterDispatch = false;

    std::thread fThread;
    std::atomic<std::thread::id> fLoopThread{};
    std::atomic<std::thread::id> fQuitter{};
    thread_id fThreadId = -1;
    std::atomic<bool> fRunning{false};
    const uint64 fToken;
};
