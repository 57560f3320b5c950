// SPDX-License-Identifier: MIT
// BButton: a push button; pressing it sends its message.
#pragma once

#include "platform/interface/Control.h"

class BButton : public BControl {
public:
    BButton(BRect frame, const char* name, const char* label, BMessage* message,
            uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
            uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

protected:
    void FillState(orv::ViewState* state) const override;
    bool ApplyInput(const BMessage& input) override;
};
