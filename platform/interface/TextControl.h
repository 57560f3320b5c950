// SPDX-License-Identifier: MIT
// BTextControl: a label followed by a one-line editable text. The divider is the x offset,
// within the control, where the label ends and the text begins.
#pragma once

#include <string>

#include "platform/interface/Control.h"

class BTextControl : public BControl {
public:
    BTextControl(BRect frame, const char* name, const char* label, const char* text,
                 BMessage* message, uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
                 uint32 flags = B_WILL_DRAW | B_NAVIGABLE);

    virtual void SetText(const char* text);
    const char* Text() const { return fText.c_str(); }
    virtual void SetDivider(float divider);

protected:
    void FillState(orv::ViewState* state) const override;
    // Typing: the new text replaces the old, and the control is invoked when it changed.
    bool ApplyInput(const BMessage& input) override;

private:
    std::string fText;
    float fDivider;
};
