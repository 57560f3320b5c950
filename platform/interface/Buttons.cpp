// SPDX-License-Identifier: MIT
// The three clickable controls: push button, check box and radio button.
#include "platform/interface/Button.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/InputMessage.h"
#include "platform/interface/RadioButton.h"
#include "platform/interface/Window.h"

BButton::BButton(BRect frame, const char* name, const char* label, BMessage* message,
                 uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags) {}

void BButton::FillState(orv::ViewState* state) const {
    BControl::FillState(state);
    state->kind = orv::ViewKind::Button;
}

bool BButton::ApplyInput(const BMessage& input) {
    if (orv::ActionOf(input) != orv::InputAction::Click || !IsEnabled()) {
        return false;
    }
    Invoke();
    return true;
}

BCheckBox::BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
                     uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags) {}

void BCheckBox::FillState(orv::ViewState* state) const {
    BControl::FillState(state);
    state->kind = orv::ViewKind::CheckBox;
}

bool BCheckBox::ApplyInput(const BMessage& input) {
    if (!IsEnabled()) {
        return false;
    }
    switch (orv::ActionOf(input)) {
        case orv::InputAction::Click:
            SetValue(Value() == B_CONTROL_OFF ? B_CONTROL_ON : B_CONTROL_OFF);
            break;
        case orv::InputAction::SetValue:
            SetValue(input.GetInt32("value", Value()) != 0 ? B_CONTROL_ON : B_CONTROL_OFF);
            break;
        default:
            return false;
    }
    Invoke();
    return true;
}

BRadioButton::BRadioButton(BRect frame, const char* name, const char* label, BMessage* message,
                           uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags) {}

void BRadioButton::SetValue(int32 value) {
    const int32 on = value != 0 ? B_CONTROL_ON : B_CONTROL_OFF;
    StoreValue(on);
    if (on == B_CONTROL_OFF) {
        return;
    }
    // The group: the radio buttons beside this one, under the same parent (or at the top
    // of the same window).
    const BView* parent = Parent();
    const BWindow* window = Window();
    const int32 count = parent != nullptr   ? parent->CountChildren()
                        : window != nullptr ? window->CountChildren()
                                            : 0;
    for (int32 i = 0; i < count; i++) {
        BView* sibling = parent != nullptr ? parent->ChildAt(i) : window->ChildAt(i);
        auto* radio = dynamic_cast<BRadioButton*>(sibling);
        if (radio != nullptr && radio != this) {
            radio->StoreValue(B_CONTROL_OFF);
        }
    }
}

void BRadioButton::FillState(orv::ViewState* state) const {
    BControl::FillState(state);
    state->kind = orv::ViewKind::RadioButton;
}

bool BRadioButton::ApplyInput(const BMessage& input) {
    const orv::InputAction action = orv::ActionOf(input);
    if (!IsEnabled() ||
        (action != orv::InputAction::Click && action != orv::InputAction::SetValue)) {
        return false;
    }
    // A user can only turn a radio button on; the group turns the others off.
    SetValue(B_CONTROL_ON);
    Invoke();
    return true;
}
