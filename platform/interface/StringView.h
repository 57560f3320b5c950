// SPDX-License-Identifier: MIT
// BStringView: one line of static text, in the view's font and high colour.
#pragma once

#include <string>

#include "platform/interface/View.h"

class BStringView : public BView {
public:
    BStringView(BRect frame, const char* name, const char* text,
                uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP, uint32 flags = B_WILL_DRAW);

    void SetText(const char* text);
    const char* Text() const { return fText.c_str(); }

protected:
    void FillState(orv::ViewState* state) const override;

private:
    std::string fText;
};
