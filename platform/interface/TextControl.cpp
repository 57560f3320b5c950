// SPDX-License-Identifier: MIT
#include "platform/interface/TextControl.h"

#include "platform/interface/InputMessage.h"

BTextControl::BTextControl(BRect frame, const char* name, const char* label, const char* text,
                           BMessage* message, uint32 resizingMode, uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags),
      fText(text != nullptr ? text : ""),
      // Until told otherwise, a label takes half the width.
      fDivider(label != nullptr && label[0] != '\0' ? frame.Width() / 2 : 0) {}

void BTextControl::SetText(const char* text) {
    fText = text != nullptr ? text : "";
    StateChanged();
}

void BTextControl::SetDivider(float divider) {
    fDivider = divider;
    StateChanged();
}

void BTextControl::FillState(orv::ViewState* state) const {
    BControl::FillState(state);
    state->kind = orv::ViewKind::TextControl;
    state->text = fText;
    state->divider = fDivider;
}

bool BTextControl::ApplyInput(const BMessage& input) {
    if (orv::ActionOf(input) != orv::InputAction::SetText || !IsEnabled()) {
        return false;
    }
    const char* text = input.GetString("text", "");
    if (fText == text) {
        return true;
    }
    SetText(text);
    Invoke();
    return true;
}
