// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <thread>

#include "platform/application/AppDefs.h"
#include "platform/application/Messenger.h"
#include "tests/application/AppTestSupport.h"

using namespace std::chrono_literals;

namespace {

bool WaitUntil(const std::atomic<bool>& flag) {
    for (int i = 0; i < 500 && !flag; ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return flag;
}

// Waits until the looper's thread has taken every posted message from the queue.
bool WaitUntilTaken(const BLooper& looper) {
    for (int i = 0; i < 5000 && looper.CountQueuedMessages() > 0; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    return looper.CountQueuedMessages() == 0;
}

}  // namespace

TEST(Looper, HandlesMessagesInPostOrderOnItsOwnThread) {
    std::atomic<bool> destroyed = false;
    auto* looper = new RecordingLooper(&destroyed);
    // Posted before Run(): they wait in the queue.
    for (uint32 what = 1; what <= 50; ++what) {
        ASSERT_EQ(looper->PostMessage(what), B_OK);
    }
    thread_id thread = looper->Run();
    EXPECT_EQ(looper->Thread(), thread);
    EXPECT_FALSE(looper->IsLooperThread());
    for (uint32 what = 51; what <= 100; ++what) {
        BMessage message(what);
        ASSERT_EQ(looper->PostMessage(&message), B_OK);
    }
    ASSERT_TRUE(looper->WaitFor(100));
    std::vector<BMessage> received = looper->Received();
    for (uint32 i = 0; i < 100; ++i) {
        EXPECT_EQ(received[i].what, i + 1);
    }
    looper->Lock();
    looper->Quit();
    EXPECT_TRUE(destroyed);
}

TEST(Looper, PostMessageCopiesTheMessage) {
    auto* looper = new RecordingLooper;
    BMessage message(7);
    message.AddString("s", "avant");
    looper->PostMessage(&message);
    message.ReplaceString("s", "après");
    message.what = 8;
    looper->Run();
    ASSERT_TRUE(looper->WaitFor(1));
    EXPECT_EQ(looper->Received()[0].what, 7u);
    EXPECT_STREQ(looper->Received()[0].GetString("s"), "avant");
    looper->Lock();
    looper->Quit();
}

TEST(Looper, LockFromAnotherThreadHoldsTheLoopBack) {
    auto* looper = new RecordingLooper;
    looper->Run();
    ASSERT_TRUE(looper->Lock());
    EXPECT_TRUE(looper->IsLocked());
    ASSERT_TRUE(looper->Lock());  // recursive
    EXPECT_EQ(looper->CountLocks(), 2);
    looper->PostMessage(1);
    // Once the loop has taken the message and sleeps, it can only be waiting for the lock.
    ASSERT_TRUE(WaitUntilTaken(*looper));
    ASSERT_TRUE(WaitUntilAsleep(looper->Thread()));
    EXPECT_TRUE(looper->Received().empty()) << "handled while another thread held the lock";

    std::atomic<bool> otherLocked = false;
    std::atomic<pid_t> otherThread = 0;
    std::thread other([&] {
        EXPECT_FALSE(looper->IsLocked());
        otherThread = gettid();
        looper->Lock();
        otherLocked = true;
        looper->Unlock();
    });
    looper->Unlock();
    // Still held once: the other thread sleeps in Lock() rather than getting through.
    while (otherThread == 0) {
        std::this_thread::yield();
    }
    ASSERT_TRUE(WaitUntilAsleep(otherThread));
    EXPECT_FALSE(otherLocked);
    looper->Unlock();
    other.join();
    EXPECT_TRUE(otherLocked);
    ASSERT_TRUE(looper->WaitFor(1));
    looper->Lock();
    looper->Quit();
}

TEST(Looper, QuitRequestIsAnsweredBeforeMessageReceived) {
    // Refused: the looper lives on, and MessageReceived never sees the request.
    std::atomic<bool> destroyed = false;
    auto* looper = new RecordingLooper(&destroyed);
    looper->SetAgreeToQuit(false);
    looper->Run();
    looper->PostMessage(B_QUIT_REQUESTED);
    looper->PostMessage(2);
    ASSERT_TRUE(looper->WaitFor(1));
    EXPECT_EQ(looper->QuitRequests(), 1);
    EXPECT_EQ(looper->Received()[0].what, 2u);
    EXPECT_FALSE(destroyed);

    // Accepted: the looper ends and deletes itself on its own thread; later messages are
    // refused rather than lost in a dead queue.
    looper->SetAgreeToQuit(true);
    BMessenger messenger(looper);
    ASSERT_TRUE(messenger.IsValid());
    looper->PostMessage(B_QUIT_REQUESTED);
    ASSERT_TRUE(WaitUntil(destroyed));
    EXPECT_FALSE(messenger.IsValid());
    EXPECT_EQ(messenger.SendMessage(3), B_BAD_HANDLER);
}

namespace {

// Calls Quit() from inside a handler, then touches its own state, which must still be
// there until the handler returns.
class SelfQuitter : public BLooper {
public:
    explicit SelfQuitter(std::atomic<bool>* destroyed) : fDestroyed(destroyed) {}
    ~SelfQuitter() override { *fDestroyed = true; }
    void MessageReceived(BMessage* message) override {
        Lock();  // a handler may leave a lock of its own behind when it quits
        Quit();
        fAfterQuit = message->what;
    }

private:
    std::atomic<bool>* fDestroyed;
    uint32 fAfterQuit = 0;
};

}  // namespace

TEST(Looper, QuitFromItsOwnHandlerEndsAfterTheMessage) {
    std::atomic<bool> destroyed = false;
    auto* looper = new SelfQuitter(&destroyed);
    looper->Run();
    looper->PostMessage(1);
    EXPECT_TRUE(WaitUntil(destroyed));
}

TEST(Looper, QuitFromAnotherThreadWaitsForTheRunningHandler) {
    std::atomic<bool> destroyed = false;
    std::atomic<bool> handlerStarted = false;
    std::atomic<bool> released = false;
    std::atomic<bool> handlerDone = false;
    // The handler runs until this thread is seen asleep in Lock(), then a little more.
    class Held : public RecordingLooper {
    public:
        Held(std::atomic<bool>* destroyed, std::atomic<bool>* started, std::atomic<bool>* released,
             std::atomic<bool>* done)
            : RecordingLooper(destroyed), fStarted(started), fReleased(released), fDone(done) {}
        void MessageReceived(BMessage* message) override {
            *fStarted = true;
            while (!*fReleased) {
                std::this_thread::yield();
            }
            *fDone = true;
            RecordingLooper::MessageReceived(message);
        }
        std::atomic<bool>* fStarted;
        std::atomic<bool>* fReleased;
        std::atomic<bool>* fDone;
    };
    auto* looper = new Held(&destroyed, &handlerStarted, &released, &handlerDone);
    looper->Run();
    looper->PostMessage(1);
    ASSERT_TRUE(WaitUntil(handlerStarted));
    const pid_t self = gettid();
    std::thread releaser([&] {
        WaitUntilAsleep(self);
        released = true;
    });
    looper->Lock();  // waits for the handler: whoever quits a running looper locks it first
    EXPECT_TRUE(handlerDone);
    looper->Quit();
    releaser.join();
    EXPECT_TRUE(destroyed);
}

TEST(Looper, QuitBeforeRunDeletesAtOnce) {
    std::atomic<bool> destroyed = false;
    auto* looper = new RecordingLooper(&destroyed);
    looper->Lock();
    looper->Quit();
    EXPECT_TRUE(destroyed);
}

TEST(Looper, HandlersGetTheirMessagesAndLoseThemWhenRemoved) {
    class Recorder : public BHandler {
    public:
        void MessageReceived(BMessage* message) override { seen.push_back(message->what); }
        std::vector<uint32> seen;  // read after the looper is gone
    };
    auto* looper = new RecordingLooper;
    Recorder handler;
    Recorder stranger;
    looper->AddHandler(&handler);
    EXPECT_EQ(handler.Looper(), looper);
    EXPECT_EQ(looper->CountHandlers(), 2);  // the looper is its own first handler

    BMessenger toHandler(&handler);
    status_t result = B_ERROR;
    RecordingLooper other;
    BMessenger mismatched(&handler, &other, &result);
    EXPECT_EQ(result, B_MISMATCHED_VALUES);
    EXPECT_EQ(looper->PostMessage(9, &stranger), B_BAD_HANDLER);

    ASSERT_EQ(toHandler.SendMessage(1), B_OK);
    ASSERT_EQ(looper->PostMessage(2, &handler), B_OK);
    looper->PostMessage(3);
    looper->Run();
    ASSERT_TRUE(looper->WaitFor(1));
    looper->Lock();
    EXPECT_EQ(handler.seen, (std::vector<uint32>{1, 2}));
    EXPECT_TRUE(looper->RemoveHandler(&handler));
    looper->Unlock();
    EXPECT_EQ(handler.Looper(), nullptr);
    EXPECT_EQ(toHandler.SendMessage(4), B_BAD_HANDLER);
    looper->Lock();
    looper->Quit();
}

TEST(Looper, CurrentMessageIsTheOneBeingHandled) {
    class Checker : public RecordingLooper {
    public:
        void MessageReceived(BMessage* message) override {
            sameAsCurrent = CurrentMessage() == message;
            if (message->what == 2) {
                detached.reset(DetachCurrentMessage());
            }
            RecordingLooper::MessageReceived(message);
        }
        std::atomic<bool> sameAsCurrent = false;
        std::unique_ptr<BMessage> detached;
    };
    auto* looper = new Checker;
    looper->Run();
    looper->PostMessage(1);
    looper->PostMessage(2);
    ASSERT_TRUE(looper->WaitFor(2));
    looper->Lock();
    EXPECT_TRUE(looper->sameAsCurrent);
    ASSERT_NE(looper->detached, nullptr);
    EXPECT_EQ(looper->detached->what, 2u);
    EXPECT_EQ(looper->CurrentMessage(), nullptr);
    looper->Quit();
}

TEST(Looper, QuitAllEndsEveryOtherRunningLooper) {
    // Two idle loopers and one already quitting by itself but not done yet: when QuitAll
    // returns, all three are gone.
    class SlowSelfQuitter : public RecordingLooper {
    public:
        using RecordingLooper::RecordingLooper;
        void MessageReceived(BMessage*) override {
            Quit();
            std::this_thread::sleep_for(100ms);
        }
    };
    std::atomic<bool> idleGone = false;
    std::atomic<bool> otherGone = false;
    std::atomic<bool> quitterGone = false;
    auto* idle = new RecordingLooper(&idleGone);
    auto* other = new SelfQuitter(&otherGone);
    auto* quitter = new SlowSelfQuitter(&quitterGone);
    idle->Run();
    other->Run();
    quitter->Run();
    quitter->PostMessage(1);
    std::this_thread::sleep_for(20ms);
    RecordingLooper keep;  // never run: not ours to end
    BLooper::QuitAll(nullptr);
    EXPECT_TRUE(idleGone);
    EXPECT_TRUE(otherGone);
    EXPECT_TRUE(quitterGone);
}
