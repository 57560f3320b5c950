// SPDX-License-Identifier: MIT
// Controls: radio groups, menus in radio mode, the status bar's arithmetic, and where a
// control's message goes.
#include <gtest/gtest.h>

#include "platform/interface/Box.h"
#include "platform/interface/Button.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/RadioButton.h"
#include "platform/interface/Slider.h"
#include "platform/interface/StatusBar.h"
#include "platform/interface/TextControl.h"
#include "tests/interface/InterfaceTestUtil.h"

namespace orv::test {
namespace {

BRadioButton* Radio(const char* name) {
    return new BRadioButton(BRect(0, 0, 50, 15), name, name, nullptr);
}

TEST(RadioButton, OneGroupPerParent) {
    BBox box(BRect(0, 0, 100, 100));
    BBox other(BRect(0, 0, 100, 100));
    BRadioButton* trash = Radio("trash");
    trash->SetValue(1);
    box.AddChild(trash);
    BRadioButton* keep = Radio("keep");
    BRadioButton* erase = Radio("erase");
    box.AddChild(keep);
    box.AddChild(erase);
    // A check box among them is no part of the group.
    auto* check = new BCheckBox(BRect(0, 0, 50, 15), "check", "check", nullptr);
    check->SetValue(1);
    box.AddChild(check);
    BRadioButton* elsewhere = Radio("elsewhere");
    elsewhere->SetValue(1);
    other.AddChild(elsewhere);

    erase->SetValue(1);
    EXPECT_EQ(trash->Value(), 0);
    EXPECT_EQ(keep->Value(), 0);
    EXPECT_EQ(erase->Value(), 1);
    keep->SetValue(5);
    EXPECT_EQ(keep->Value(), 1);
    EXPECT_EQ(erase->Value(), 0);
    EXPECT_EQ(check->Value(), 1);
    EXPECT_EQ(elsewhere->Value(), 1);
    // Turning one off leaves the others as they are.
    keep->SetValue(0);
    EXPECT_EQ(trash->Value() + keep->Value() + erase->Value(), 0);
}

class MenuTest : public testing::Test {
protected:
    MenuTest() {
        menu = new BMenu("Format de sortie");
        menu->SetRadioMode(true);
        menu->SetLabelFromMarked(true);
        for (int32 i = 0; i < 3; i++) {
            const std::string label = "item " + std::to_string(i);
            menu->AddItem(new BMenuItem(label.c_str(), new BMessage(100 + i)));
        }
        field = new BMenuField(BRect(15, 195, 160, 217), "M_Translator", "", menu, true);
    }

    BMenu* menu;
    BMenuField* field;
};

TEST_F(MenuTest, RadioModeAndLabelFromMarked) {
    EXPECT_EQ(menu->FindMarked(), nullptr);
    EXPECT_EQ(field->State().menu.shownLabel, "Format de sortie");
    EXPECT_EQ(field->State().menu.marked, -1);

    menu->ItemAt(2)->SetMarked(true);
    menu->ItemAt(0)->SetMarked(true);
    EXPECT_FALSE(menu->ItemAt(2)->IsMarked());
    EXPECT_EQ(menu->FindMarked(), menu->ItemAt(0));
    EXPECT_EQ(menu->IndexOf(menu->FindMarked()), 0);
    EXPECT_EQ(field->State().menu.shownLabel, "item 0");

    // An item marked before it joins the menu takes the mark over too.
    auto* late = new BMenuItem("late", nullptr);
    late->SetMarked(true);
    menu->AddItem(late, 1);
    EXPECT_EQ(menu->FindMarked(), late);
    EXPECT_EQ(menu->IndexOf(late), 1);
    EXPECT_EQ(menu->IndexOf(menu->ItemAt(3)), 3);
    EXPECT_STREQ(menu->ItemAt(3)->Label(), "item 2");

    // Without radio mode marks are independent; without label-from-marked the name shows.
    menu->SetRadioMode(false);
    menu->ItemAt(3)->SetMarked(true);
    EXPECT_TRUE(late->IsMarked());
    menu->SetLabelFromMarked(false);
    EXPECT_EQ(field->State().menu.shownLabel, "Format de sortie");

    EXPECT_EQ(menu->RemoveItem(late), true);
    EXPECT_EQ(late->Menu(), nullptr);
    delete late;
    EXPECT_EQ(menu->CountItems(), 3);
    EXPECT_EQ(menu->IndexOf(nullptr), -1);
    EXPECT_EQ(menu->ItemAt(3), nullptr);
    delete field;
}

TEST(StatusBar, UpdateMovesBothWaysWithinTheMaximum) {
    BStatusBar bar(BRect(170, 45, 385, 65), "StatusBar", "", "");
    EXPECT_EQ(bar.CurrentValue(), 0);
    EXPECT_EQ(bar.MaxValue(), 100);

    bar.SetMaxValue(10);
    bar.Update(3, "Nombre de fichiers convertis", "3/10");
    EXPECT_EQ(bar.CurrentValue(), 3);
    EXPECT_STREQ(bar.Text(), "Nombre de fichiers convertis");
    EXPECT_STREQ(bar.TrailingText(), "3/10");
    EXPECT_STREQ(bar.Label(), "");

    // A new maximum leaves the value and the texts alone.
    bar.SetMaxValue(0);
    EXPECT_EQ(bar.CurrentValue(), 3);
    EXPECT_STREQ(bar.TrailingText(), "3/10");

    bar.SetMaxValue(5);
    bar.Update(0 - bar.CurrentValue(), "Nombre de fichiers convertis", "0/5");
    EXPECT_EQ(bar.CurrentValue(), 0);
    EXPECT_STREQ(bar.TrailingText(), "0/5");
    bar.Update(-2);
    EXPECT_EQ(bar.CurrentValue(), 0);
    bar.Update(7, nullptr, nullptr);
    EXPECT_EQ(bar.CurrentValue(), 5);
    EXPECT_STREQ(bar.TrailingText(), "0/5");

    bar.Reset("début", "fin");
    EXPECT_EQ(bar.CurrentValue(), 0);
    EXPECT_EQ(bar.MaxValue(), 100);
    EXPECT_STREQ(bar.Text(), "");
    EXPECT_STREQ(bar.Label(), "début");
    EXPECT_STREQ(bar.TrailingLabel(), "fin");
}

TEST(Slider, KeepsItsValueWithinItsLimits) {
    BSlider slider(BRect(0, 0, 100, 30), "quality", "Qualité", nullptr, 0, 100);
    EXPECT_EQ(slider.Value(), 0);
    slider.SetValue(150);
    EXPECT_EQ(slider.Value(), 100);
    slider.SetLimits(20, 10);
    EXPECT_EQ(slider.MinValue(), 10);
    EXPECT_EQ(slider.MaxValue(), 20);
    EXPECT_EQ(slider.Value(), 20);
}

// "Convertir" and "Avancé" have no target: their messages go to the window. A target, once
// set, takes them instead.
TEST(Control, MessageGoesToTheWindowUnlessTargeted) {
    auto* window = new RecordingWindow();
    auto* top = new BView(window->Bounds(), "Orvane_view", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
    auto* convert =
        new BButton(BRect(325, 195, 385, 210), "BValider", "Convertir", new BMessage(20));
    auto* advanced =
        new BButton(BRect(170, 195, 230, 210), "BAdvanced", "Avancé", new BMessage(30));
    top->AddChild(convert);
    top->AddChild(advanced);

    // Not in a window yet: nowhere to go.
    BButton loose(BRect(0, 0, 9, 9), "loose", "loose", new BMessage(1));
    EXPECT_EQ(loose.Invoke(), B_BAD_HANDLER);
    BButton silent(BRect(0, 0, 9, 9), "silent", "silent", nullptr);
    EXPECT_EQ(silent.Invoke(), B_BAD_VALUE);

    window->AddChild(top);
    window->Show();
    window->Lock();
    EXPECT_EQ(convert->Invoke(), B_OK);
    EXPECT_EQ(advanced->Invoke(), B_OK);
    auto* other = new RecordingWindow("autre");
    other->Run();
    EXPECT_EQ(advanced->SetTarget(other), B_OK);
    EXPECT_EQ(advanced->Invoke(), B_OK);
    window->Unlock();

    auto received = window->WaitForMessages(2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].what, 20u);
    EXPECT_EQ(received[1].what, 30u);
    auto elsewhere = other->WaitForMessages(1);
    ASSERT_EQ(elsewhere.size(), 1u);
    EXPECT_EQ(elsewhere[0].what, 30u);

    other->Close();
    window->Close();
}

}  // namespace
}  // namespace orv::test
