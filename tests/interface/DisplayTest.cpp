// SPDX-License-Identifier: MIT
// The headless display: what it mirrors of a window, and input that goes through the
// window's queue, waiting behind a busy handler like every other message.
#include <gtest/gtest.h>

#include <thread>

#include "platform/application/AppDefs.h"
#include "platform/interface/Box.h"
#include "platform/interface/Button.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/InputMessage.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/RadioButton.h"
#include "platform/interface/StatusBar.h"
#include "platform/interface/StringView.h"
#include "platform/interface/TextControl.h"
#include "tests/interface/InterfaceTestUtil.h"

namespace orv::test {
namespace {

constexpr uint32 kFiles = 50;

// A small form like the main view's, that also forwards drops carrying files.
class Form : public BView {
public:
    explicit Form(BRect frame) : BView(frame, "Orvane_view", B_FOLLOW_ALL_SIDES, B_WILL_DRAW) {
        SetViewColor(230, 230, 230, 0);
    }

    void AttachedToWindow() override {
        auto* box = new BBox(BRect(15, 45, 160, 185));
        box->AddChild(new BTextControl(BRect(4, 5, 115, 25), "BT_ScaleX", "X : ", "", nullptr));
        auto* keepRatio = new BCheckBox(BRect(4, 49, 140, 64), "CB_KeepRatio",
                                        "Garder les proportions", new BMessage(FourCC("keep")));
        keepRatio->SetValue(1);
        box->AddChild(keepRatio);
        AddChild(box);
        auto* old = new BBox(BRect(170, 85, 385, 155));
        old->SetLabel("anciens fichiers");
        auto* trash = new BRadioButton(BRect(15, 15, 165, 30), "RB_Trash",
                                       "les mettre dans la corbeille", nullptr);
        trash->SetValue(1);
        old->AddChild(trash);
        old->AddChild(
            new BRadioButton(BRect(15, 32, 165, 47), "RB_Keep", "les conserver", nullptr));
        AddChild(old);
        auto* menu = new BMenu("Format de sortie");
        menu->SetRadioMode(true);
        menu->SetLabelFromMarked(true);
        menu->AddItem(new BMenuItem("PNG", new BMessage(FourCC("png "))));
        menu->AddItem(new BMenuItem("JPEG", new BMessage(FourCC("jpeg"))));
        AddChild(new BMenuField(BRect(15, 195, 160, 217), "M_Translator", "", menu, true));
        AddChild(new BButton(BRect(325, 195, 385, 210), "BValider", "Convertir", new BMessage(20)));
        status = new BStatusBar(BRect(170, 45, 385, 65), "StatusBar", "", "");
        AddChild(status);
    }

    void MessageReceived(BMessage* message) override {
        if (message->what == B_SIMPLE_DATA) {
            message->what = kFiles;
            Window()->PostMessage(message);
            return;
        }
        BView::MessageReceived(message);
    }

    BStatusBar* status = nullptr;
};

class DisplayTest : public testing::Test {
protected:
    DisplayTest() : display(HeadlessDisplay::Install()), window(new RecordingWindow()) {
        form = new Form(window->Bounds());
        window->AddChild(form);
        window->Show();
        id = window->Id();
    }
    ~DisplayTest() override {
        if (display->IsOpen(id)) {
            window->Close();
        }
    }

    // Waits until the display shows `name` in the state `wanted` tells.
    bool WaitForView(const std::string& name, const std::function<bool(const ViewState&)>& wanted) {
        return display->WaitFor(
            [&](const HeadlessDisplay& d) {
                auto view = d.FindView(id, name);
                return view && wanted(*view);
            },
            kWait);
    }

    std::shared_ptr<HeadlessDisplay> display;
    RecordingWindow* window;
    Form* form;
    WindowId id;
};

TEST_F(DisplayTest, MirrorsTheWindowAndItsTree) {
    auto shown = display->FindWindow("Essai");
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->id, id);
    EXPECT_FALSE(shown->hidden);
    EXPECT_EQ(shown->frame, BRect(100, 100, 499, 329));

    // Parents come before their children, with the right parent.
    auto views = display->Views(id);
    ASSERT_GE(views.size(), 10u);
    EXPECT_EQ(views[0].name, "Orvane_view");
    EXPECT_EQ(views[0].viewColor, make_color(230, 230, 230, 0));
    for (size_t i = 1; i < views.size(); i++) {
        bool parentBefore = false;
        for (size_t j = 0; j < i; j++) {
            parentBefore |= views[j].id == views[i].parent;
        }
        EXPECT_TRUE(parentBefore) << views[i].name;
    }
    auto old = display->FindView(id, "RB_Keep");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->kind, ViewKind::RadioButton);
    EXPECT_EQ(old->label, "les conserver");
    EXPECT_EQ(old->value, 0);
    auto menu = display->FindView(id, "M_Translator");
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->menu.items, (std::vector<std::string>{"PNG", "JPEG"}));
    EXPECT_EQ(menu->menu.shownLabel, "Format de sortie");

    // Later changes, made on the window's thread, reach the display.
    window->Lock();
    form->status->SetMaxValue(10);
    form->status->Update(3, "Nombre de fichiers convertis", "3/10");
    window->Unlock();
    auto bar = display->FindView(id, "StatusBar");
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->currentValue, 3);
    EXPECT_EQ(bar->maxValue, 10);
    EXPECT_EQ(bar->trailingText, "3/10");

    window->Lock();
    BView* box = window->FindView("RB_Trash")->Parent();
    box->RemoveSelf();
    delete box;
    window->Unlock();
    EXPECT_FALSE(display->FindView(id, "RB_Trash"));
    EXPECT_FALSE(display->FindView(id, "RB_Keep"));
}

TEST_F(DisplayTest, InputActsAsAUserAndInvokes) {
    ASSERT_EQ(display->Click(id, "CB_KeepRatio"), B_OK);
    ASSERT_EQ(display->Type(id, "BT_ScaleX", "800"), B_OK);
    ASSERT_EQ(display->Click(id, "RB_Keep"), B_OK);
    ASSERT_EQ(display->Choose(id, "M_Translator", "JPEG"), B_OK);
    ASSERT_EQ(display->Click(id, "BValider"), B_OK);
    EXPECT_EQ(display->Click(id, "absent"), B_NAME_NOT_FOUND);
    EXPECT_EQ(display->Choose(id, "M_Translator", 2), B_BAD_INDEX);

    // Each control's own message, in the order the user acted.
    auto received = window->WaitForMessages(3);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].what, FourCC("keep"));
    EXPECT_EQ(received[1].what, FourCC("jpeg"));
    EXPECT_EQ(received[2].what, 20u);

    window->Lock();
    EXPECT_EQ(static_cast<BControl*>(window->FindView("CB_KeepRatio"))->Value(), 0);
    EXPECT_STREQ(static_cast<BTextControl*>(window->FindView("BT_ScaleX"))->Text(), "800");
    EXPECT_EQ(static_cast<BControl*>(window->FindView("RB_Keep"))->Value(), 1);
    EXPECT_EQ(static_cast<BControl*>(window->FindView("RB_Trash"))->Value(), 0);
    BMenu* menu = static_cast<BMenuField*>(window->FindView("M_Translator"))->Menu();
    EXPECT_EQ(menu->IndexOf(menu->FindMarked()), 1);
    window->Unlock();
    EXPECT_TRUE(WaitForView("M_Translator", [](const ViewState& v) {
        return v.menu.shownLabel == "JPEG" && v.menu.marked == 1;
    }));
}

// While the window's thread is busy (a conversion run), what the user does waits in the
// queue; it is applied, in order, once the thread is free.
TEST_F(DisplayTest, InputWaitsBehindABusyHandler) {
    window->Occupy();
    ASSERT_EQ(display->Click(id, "CB_KeepRatio"), B_OK);
    ASSERT_EQ(display->Type(id, "BT_ScaleX", "640"), B_OK);
    EXPECT_EQ(window->CountQueuedMessages(), 2);
    auto check = display->FindView(id, "CB_KeepRatio");
    ASSERT_TRUE(check);
    EXPECT_EQ(check->value, 1);
    EXPECT_EQ(display->FindView(id, "BT_ScaleX")->text, "");

    window->Release();
    EXPECT_TRUE(WaitForView("BT_ScaleX", [](const ViewState& v) { return v.text == "640"; }));
    EXPECT_EQ(display->FindView(id, "CB_KeepRatio")->value, 0);
    auto received = window->WaitForMessages(2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].what, kBusy);
    EXPECT_EQ(received[1].what, FourCC("keep"));
}

TEST_F(DisplayTest, DropsReachTheViewDisabledControlsIgnoreInput) {
    BMessage drop(B_SIMPLE_DATA);
    drop.AddString("refs", "/tmp/a.png");
    drop.AddInt32("extra", 7);
    // Dropped on a control inside the form: the form handles it on the way up.
    ASSERT_EQ(display->Drop(id, "BT_ScaleX", drop), B_OK);
    auto received = window->WaitForMessages(1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].what, kFiles);
    EXPECT_EQ(received[0].GetInt32("extra", 0), 7);

    window->Lock();
    static_cast<BControl*>(window->FindView("CB_KeepRatio"))->SetEnabled(false);
    window->Unlock();
    ASSERT_EQ(display->Click(id, "CB_KeepRatio"), B_OK);
    ASSERT_EQ(display->Click(id, "BValider"), B_OK);
    received = window->WaitForMessages(2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].what, 20u);
    EXPECT_EQ(display->FindView(id, "CB_KeepRatio")->value, 1);
    EXPECT_FALSE(display->FindView(id, "CB_KeepRatio")->enabled);
}

TEST_F(DisplayTest, CloseBoxQuitsTheWindow) {
    ASSERT_EQ(display->Close(id), B_OK);
    EXPECT_TRUE(display->WaitFor([&](const HeadlessDisplay& d) { return !d.IsOpen(id); }, kWait));
    // Once the window is gone, input to it fails instead of reaching freed memory.
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (BLooper::IsTokenAlive(id) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(PostInput(id, MakeClick(1)), B_BAD_HANDLER);
}

}  // namespace
}  // namespace orv::test
