// SPDX-License-Identifier: MIT
// The view tree: attaching parents before children, hooks that add children, removal,
// lookup by name, and the message chain from a view up to its window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/application/AppDefs.h"
#include "tests/interface/InterfaceTestUtil.h"

namespace orv::test {
namespace {

// Logs its hooks; may add a child from its own AttachedToWindow, as the main view does.
class LoggingView : public BView {
public:
    LoggingView(const char* name, std::vector<std::string>* log, bool addsChild = false)
        : BView(BRect(0, 0, 9, 9), name, B_FOLLOW_ALL_SIDES, B_WILL_DRAW),
          fLog(log),
          fAddsChild(addsChild) {}

    void AttachedToWindow() override {
        fLog->push_back(std::string(Name()) + (Window() != nullptr ? "+" : "?"));
        if (fAddsChild) {
            AddChild(new LoggingView((std::string(Name()) + ".hook").c_str(), fLog));
        }
    }
    void DetachedFromWindow() override { fLog->push_back(std::string(Name()) + "-"); }

private:
    std::vector<std::string>* fLog;
    bool fAddsChild;
};

TEST(ViewTree, AttachesParentsBeforeChildrenAndEachViewOnce) {
    std::vector<std::string> log;
    auto* window = new RecordingWindow();
    auto* a = new LoggingView("a", &log, true);
    auto* b = new LoggingView("b", &log);
    b->AddChild(new LoggingView("d", &log));
    a->AddChild(b);
    a->AddChild(new LoggingView("c", &log));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(a->Window(), nullptr);

    window->AddChild(a);
    // The hook's own child is attached as it is added, and not a second time after.
    EXPECT_EQ(log, (std::vector<std::string>{"a+", "a.hook+", "b+", "d+", "c+"}));
    EXPECT_EQ(a->CountChildren(), 3);
    EXPECT_EQ(a->ChildAt(2)->Window(), window);

    // Added later: attached at once.
    log.clear();
    b->AddChild(new LoggingView("e", &log), b->ChildAt(0));
    EXPECT_EQ(log, (std::vector<std::string>{"e+"}));
    EXPECT_STREQ(b->ChildAt(0)->Name(), "e");

    EXPECT_EQ(window->FindView("d"), b->ChildAt(1));
    EXPECT_EQ(window->FindView("a.hook"), a->ChildAt(2));
    EXPECT_EQ(window->FindView("absent"), nullptr);
    EXPECT_EQ(b->Parent(), a);
    EXPECT_EQ(a->Parent(), nullptr);

    // Removing detaches the whole branch; the caller owns it again.
    log.clear();
    EXPECT_TRUE(a->RemoveChild(b));
    EXPECT_EQ(log, (std::vector<std::string>{"b-", "e-", "d-"}));
    EXPECT_EQ(b->Window(), nullptr);
    EXPECT_EQ(window->FindView("d"), nullptr);
    EXPECT_FALSE(a->RemoveChild(b));
    delete b;

    window->Lock();
    window->Quit();
}

TEST(ViewTree, DeletingAnAttachedViewLeavesNoTrace) {
    auto* window = new RecordingWindow();
    auto* top = new BView(BRect(0, 0, 9, 9), "top", B_FOLLOW_NONE, 0);
    auto* child = new BView(BRect(0, 0, 4, 4), "child", B_FOLLOW_NONE, 0);
    top->AddChild(child);
    window->AddChild(top);
    delete child;
    EXPECT_EQ(top->CountChildren(), 0);
    EXPECT_EQ(window->CountHandlers(), 2);  // the window and "top"
    delete top;
    EXPECT_EQ(window->CountChildren(), 0);
    EXPECT_EQ(window->FindView("top"), nullptr);
    EXPECT_EQ(window->CountHandlers(), 1);
    window->Lock();
    window->Quit();
}

TEST(ViewTree, RefusesToMakeLoops) {
    BView parent(BRect(0, 0, 9, 9), "parent", B_FOLLOW_NONE, 0);
    auto* child = new BView(BRect(0, 0, 4, 4), "child", B_FOLLOW_NONE, 0);
    parent.AddChild(child);
    child->AddChild(&parent);
    parent.AddChild(&parent);
    EXPECT_EQ(child->CountChildren(), 0);
    EXPECT_EQ(parent.CountChildren(), 1);
    // Already a child: not added twice.
    parent.AddChild(child);
    EXPECT_EQ(parent.CountChildren(), 1);
}

// A drop that lands on a child the child does not handle goes up to its parent, as any
// message a view leaves alone; the handler chain ends at the window.
class DropCatcher : public BView {
public:
    DropCatcher() : BView(BRect(0, 0, 99, 99), "catcher", B_FOLLOW_ALL_SIDES, B_WILL_DRAW) {}
    void MessageReceived(BMessage* message) override {
        if (message->what == B_SIMPLE_DATA) {
            drops++;
            return;
        }
        BView::MessageReceived(message);
    }
    int drops = 0;
};

TEST(ViewTree, UnhandledMessagesGoUpToTheWindow) {
    auto* window = new RecordingWindow();
    auto* catcher = new DropCatcher();
    auto* inner = new BView(BRect(5, 5, 20, 20), "inner", B_FOLLOW_NONE, 0);
    catcher->AddChild(inner);
    window->AddChild(catcher);
    EXPECT_EQ(inner->Looper(), window);

    BMessage drop(B_SIMPLE_DATA);
    inner->MessageReceived(&drop);
    EXPECT_EQ(catcher->drops, 1);

    BMessage other(42);
    inner->MessageReceived(&other);
    auto received = window->WaitForMessages(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].what, 42u);

    window->Lock();
    window->Quit();
}

}  // namespace
}  // namespace orv::test
