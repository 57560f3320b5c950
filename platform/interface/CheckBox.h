// SPDX-License-Identifier: MIT
// BCheckBox: an on/off option; a click toggles it and sends its message.
#pragma once

#include "platform/interface/Control.h"

class BCheckBox : public BControl {
public:
    BCheckBox(BRect frame, const char* name, const char* label, BMessage* message,
              uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
              uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

protected:
    void FillState(orv::ViewState* state) const override;
    bool ApplyInput(const BMessage& input) override;
};
