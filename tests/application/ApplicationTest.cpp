// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/application/Application.h"
#include "tests/application/AppTestSupport.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kSignature = "application/x-vnd.Orvane-test";

// Records what reaches the application's hooks, and quits at the message code 99.
class TestApp : public BApplication {
public:
    explicit TestApp(const char* signature = kSignature) : BApplication(signature) {}

    void ReadyToRun() override { events.push_back("ready"); }
    void RefsReceived(BMessage* message) override {
        entry_ref ref;
        for (int32 i = 0; message->FindRef("refs", i, &ref) == B_OK; ++i) {
            events.push_back("ref " + ref.Path());
        }
    }
    void MessageReceived(BMessage* message) override {
        events.push_back("message " + std::to_string(message->what));
        if (message->what == 99) {
            PostMessage(B_QUIT_REQUESTED);
        }
    }

    std::vector<std::string> events;  // read once Run() has returned
};

}  // namespace

class Application : public RuntimeFolderTest {};

TEST_F(Application, RunsOnTheCallingThreadWithItsHooks) {
    TestApp app;
    ASSERT_EQ(app.InitCheck(), B_OK);
    EXPECT_EQ(be_app, &app);
    BMessage refs(B_REFS_RECEIVED);
    entry_ref ref("/home/anne", "chat.png");
    refs.AddRef("refs", &ref);
    be_app_messenger.SendMessage(&refs);
    app.PostMessage(B_SIMPLE_DATA);
    app.PostMessage(99);

    // A window's looper is ended with the application.
    std::atomic<bool> windowGone = false;
    auto* window = new RecordingLooper(&windowGone);
    window->Run();

    app.Run();
    EXPECT_EQ(app.Thread(), thread_id(gettid()));
    EXPECT_TRUE(windowGone);
    const std::vector<std::string> expected = {"ref /home/anne/chat.png",
                                               "message " + std::to_string(B_SIMPLE_DATA),
                                               "message 99", "ready"};
    EXPECT_EQ(app.events, expected);
}

TEST_F(Application, AnExternalLoopCanDriveIt) {
    TestApp app;
    int rounds = 0;
    bool quitCalled = false;
    app.SetExternalLoop(
        [&] {
            // A stand-in for the display's loop: wait on the wakeup descriptor, then hand
            // over, until told to quit.
            while (!quitCalled && rounds < 1000) {
                pollfd entry{app.WakeupFd(), POLLIN, 0};
                ASSERT_EQ(poll(&entry, 1, 5000), 1) << "no wakeup";
                ++rounds;
                app.ProcessPendingMessages();
            }
        },
        [&] { quitCalled = true; });
    std::thread poster([] {
        for (uint32 what = 1; what <= 3; ++what) {
            std::this_thread::sleep_for(10ms);
            be_app_messenger.SendMessage(what);
        }
        be_app_messenger.SendMessage(99);
    });
    app.Run();
    poster.join();
    EXPECT_TRUE(quitCalled);
    EXPECT_FALSE(app.ProcessPendingMessages());
    ASSERT_EQ(app.events.size(), 5u);
    EXPECT_EQ(app.events[3], "message 3");
}

TEST_F(Application, QuitFromAnotherThreadEndsRun) {
    TestApp app;
    std::thread quitter([&] {
        std::this_thread::sleep_for(20ms);
        app.Quit();
    });
    app.Run();
    quitter.join();
    EXPECT_EQ(app.events.front(), "ready");
}
