// SPDX-License-Identifier: MIT
#include "platform/application/Looper.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "platform/application/AppDefs.h"

namespace {

// Every living looper by token, so that a messenger can reach a looper without holding a
// pointer that may dangle. Lock order: this registry, then a looper's queue.
std::mutex gRegistryLock;
std::unordered_map<uint64, BLooper*> gLoopers;
uint64 gNextToken = 1;

uint64 Register(BLooper* looper) {
    std::lock_guard lock(gRegistryLock);
    uint64 token = gNextToken++;
    gLoopers.emplace(token, looper);
    return token;
}

}  // namespace

BLooper::BLooper(const char* name) : BHandler(name), fToken(Register(this)) {
    fLooper = this;
    fHandlers.push_back(this);
}

BLooper::~BLooper() {
    {
        std::lock_guard lock(gRegistryLock);
        gLoopers.erase(fToken);
    }
    // Deleted without Quit() while its thread runs: stop it rather than leave it running
    // over freed memory.
    if (fThread.joinable()) {
        if (std::this_thread::get_id() == fThread.get_id()) {
            fThread.detach();
        } else {
            RequestStop();
            fThread.join();
        }
    }
    for (BHandler* handler : fHandlers) {
        handler->fLooper = nullptr;
    }
}

// ---- running and quitting

thread_id BLooper::Run() {
    if (fRunning) {
        return fThreadId;
    }
    fRunning = true;
    // The thread may quit, and so detach fThread, at its first message: it starts looping
    // only once fThread is assigned, and Run() returns once the thread's id is known.
    std::mutex gate;
    std::condition_variable gateChanged;
    bool assigned = false;
    bool started = false;
    std::unique_lock lock(gate);
    fThread = std::thread([this, &gate, &gateChanged, &assigned, &started] {
        {
            std::unique_lock threadLock(gate);
            gateChanged.wait(threadLock, [&] { return assigned; });
            SetLoopThread();
            started = true;
            gateChanged.notify_all();
        }
        Loop();
    });
    assigned = true;
    gateChanged.notify_all();
    gateChanged.wait(lock, [&] { return started; });
    return fThreadId;
}

void BLooper::SetLoopThread() {
    fLoopThread = std::this_thread::get_id();
    fThreadId = thread_id(gettid());
}

bool BLooper::IsLooperThread() const {
    return fLoopThread.load() == std::this_thread::get_id();
}

void BLooper::Loop() {
    Posted next;
    while (NextMessage(&next, true)) {
        if (!DispatchPosted(next)) {
            break;
        }
    }
    if (fQuitter.load() != std::this_thread::get_id()) {
        return;  // stopped from another thread, which joins and deletes
    }
    while (IsLocked()) {
        Unlock();
    }
    fThread.detach();
    delete this;
}

bool BLooper::ClaimQuit() {
    std::thread::id none;
    std::thread::id self = std::this_thread::get_id();
    return fQuitter.compare_exchange_strong(none, self) || none == self;
}

void BLooper::Quit() {
    if (!fRunning) {
        while (IsLocked()) {
            Unlock();
        }
        delete this;
        return;
    }
    if (!ClaimQuit()) {
        return;  // another thread is already ending this looper
    }
    if (IsLooperThread()) {
        StopAfterCurrentMessage();
        return;
    }
    // The looper's thread may be waiting for the lock this caller holds.
    while (IsLocked()) {
        Unlock();
    }
    RequestStop();
    fThread.join();
    delete this;
}

bool BLooper::QuitRequested() {
    return true;
}

void BLooper::QuitAll(const BLooper* except) {
    std::vector<uint64> tokens;
    {
        std::lock_guard lock(gRegistryLock);
        for (const auto& [token, looper] : gLoopers) {
            if (looper != except) {
                tokens.push_back(token);
            }
        }
    }
    for (uint64 token : tokens) {
        BLooper* claimed = nullptr;
        {
            // Claimed under the registry lock, the looper cannot delete itself before its
            // Quit() below has run: its own thread now loses the claim.
            std::lock_guard lock(gRegistryLock);
            auto it = gLoopers.find(token);
            if (it != gLoopers.end() && it->second->fRunning && !it->second->IsLooperThread() &&
                it->second->ClaimQuit()) {
                claimed = it->second;
            }
        }
        if (claimed != nullptr) {
            claimed->Lock();
            claimed->Quit();
        }
    }
    // Loopers that were already quitting on their own threads are still finishing; the
    // process may end right after this, so give them a moment to be gone.
    for (int wait = 0; wait < 1000; ++wait) {
        {
            std::lock_guard lock(gRegistryLock);
            bool anyRunning = false;
            for (const auto& [token, looper] : gLoopers) {
                anyRunning = anyRunning ||
                             (looper != except && looper->fRunning && !looper->IsLooperThread());
            }
            if (!anyRunning) {
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void BLooper::RequestStop() {
    std::lock_guard lock(fQueueLock);
    fStop = true;
    fQueueChanged.notify_all();
    MessagePosted();
}

bool BLooper::StopRequested() const {
    std::lock_guard lock(fQueueLock);
    return fStop;
}

// ---- the queue

bool BLooper::NextMessage(Posted* next, bool wait) {
    std::unique_lock lock(fQueueLock);
    if (wait) {
        fQueueChanged.wait(lock, [this] { return fStop || !fQueue.empty(); });
    }
    if (fStop || fQueue.empty()) {
        return false;
    }
    *next = std::move(fQueue.front());
    fQueue.pop_front();
    return true;
}

bool BLooper::DispatchPosted(Posted& posted) {
    Lock();
    BHandler* target = posted.handler != nullptr ? posted.handler : this;
    // A handler removed since the message was posted no longer gets it.
    if (HasHandler(target)) {
        fCurrentOwned = std::move(posted.message);
        fCurrentMessage = fCurrentOwned.get();
        DispatchMessage(fCurrentMessage, target);
        fCurrentMessage = nullptr;
        fCurrentOwned.reset();
    }
    posted.message.reset();
    bool keepGoing = !fQuitAfterDispatch;
    Unlock();
    return keepGoing;
}

void BLooper::DispatchMessage(BMessage* message, BHandler* handler) {
    if (message == nullptr || handler == nullptr) {
        return;
    }
    if (message->what == B_QUIT_REQUESTED && handler == this) {
        if (QuitRequested()) {
            Quit();
        }
        return;
    }
    handler->MessageReceived(message);
}

BMessage* BLooper::DetachCurrentMessage() {
    fCurrentMessage = nullptr;
    return fCurrentOwned.release();
}

int32 BLooper::CountQueuedMessages() const {
    std::lock_guard lock(fQueueLock);
    return int32(fQueue.size());
}

status_t BLooper::Post(std::unique_ptr<BMessage> message, BHandler* handler) {
    // Everything happens under the queue's lock: once it is released the message may be
    // handled, and a B_QUIT_REQUESTED may have deleted the looper before this call returns.
    std::lock_guard lock(fQueueLock);
    // The handler is only compared, never followed: a messenger may hold a handler that
    // has been deleted since.
    if (fStop || (handler != nullptr &&
                  std::find(fHandlers.begin(), fHandlers.end(), handler) == fHandlers.end())) {
        return B_BAD_HANDLER;
    }
    fQueue.push_back(Posted{std::move(message), handler});
    fQueueChanged.notify_one();
    MessagePosted();
    return B_OK;
}

status_t BLooper::PostMessage(uint32 what) {
    return PostMessage(what, nullptr);
}

status_t BLooper::PostMessage(const BMessage* message) {
    return PostMessage(message, nullptr);
}

status_t BLooper::PostMessage(uint32 what, BHandler* handler) {
    return Post(std::make_unique<BMessage>(what), handler);
}

status_t BLooper::PostMessage(const BMessage* message, BHandler* handler) {
    if (message == nullptr) {
        return B_BAD_VALUE;
    }
    return Post(std::make_unique<BMessage>(*message), handler);
}

status_t BLooper::PostToToken(uint64 token, const BMessage* message, BHandler* handler) {
    if (message == nullptr) {
        return B_BAD_VALUE;
    }
    return PostToToken(token, BMessage(*message), handler);
}

status_t BLooper::PostToToken(uint64 token, BMessage&& message, BHandler* handler) {
    auto posted = std::make_unique<BMessage>(std::move(message));
    std::lock_guard lock(gRegistryLock);
    auto it = gLoopers.find(token);
    if (it == gLoopers.end()) {
        return B_BAD_HANDLER;
    }
    return it->second->Post(std::move(posted), handler);
}

bool BLooper::IsTokenAlive(uint64 token) {
    std::lock_guard lock(gRegistryLock);
    return gLoopers.count(token) != 0;
}

// ---- locking

bool BLooper::Lock() {
    fLock.lock();
    fLockOwner = std::this_thread::get_id();
    ++fLockCount;
    return true;
}

void BLooper::Unlock() {
    if (!IsLocked()) {
        return;
    }
    if (--fLockCount == 0) {
        fLockOwner = std::thread::id();
    }
    fLock.unlock();
}

bool BLooper::IsLocked() const {
    return fLockOwner.load() == std::this_thread::get_id();
}

// ---- handlers

// The handler list is guarded by the queue's lock, so a post from any thread can check
// its target without the looper's lock.
void BLooper::AddHandler(BHandler* handler) {
    if (handler == nullptr || handler->Looper() != nullptr) {
        return;
    }
    std::lock_guard lock(fQueueLock);
    handler->fLooper = this;
    fHandlers.push_back(handler);
}

bool BLooper::RemoveHandler(BHandler* handler) {
    if (handler == nullptr || handler == this) {
        return false;
    }
    std::lock_guard lock(fQueueLock);
    auto it = std::find(fHandlers.begin(), fHandlers.end(), handler);
    if (it == fHandlers.end()) {
        return false;
    }
    fHandlers.erase(it);
    handler->fLooper = nullptr;
    return true;
}

bool BLooper::HasHandler(const BHandler* handler) const {
    std::lock_guard lock(fQueueLock);
    return std::find(fHandlers.begin(), fHandlers.end(), handler) != fHandlers.end();
}

int32 BLooper::CountHandlers() const {
    std::lock_guard lock(fQueueLock);
    return int32(fHandlers.size());
}
