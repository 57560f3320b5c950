// SPDX-License-Identifier: MIT
// BRadioButton: one choice of a group. The radio buttons with the same parent form one
// group: turning one on turns the others off.
#pragma once

#include "platform/interface/Control.h"

class BRadioButton : public BControl {
public:
    BRadioButton(BRect frame, const char* name, const char* label, BMessage* message,
                 uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
                 uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

    // Any value but 0 is on (1).
    void SetValue(int32 value) override;

protected:
    void FillState(orv::ViewState* state) const override;
    bool ApplyInput(const BMessage& input) override;
};
