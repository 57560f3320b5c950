// SPDX-License-Identifier: MIT
// BBox: a framed group; its children use the box's coordinates, and its label sits in
// the frame's top edge.
#pragma once

#include <string>

#include "platform/interface/View.h"

class BBox : public BView {
public:
    BBox(BRect frame, const char* name = nullptr,
         uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
         uint32 flags = B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE_JUMP,
         border_style border = B_FANCY_BORDER);

    // nullptr: no label.
    void SetLabel(const char* label);
    const char* Label() const { return fHasLabel ? fLabel.c_str() : nullptr; }

protected:
    void FillState(orv::ViewState* state) const override;

private:
    std::string fLabel;
    bool fHasLabel = false;
    border_style fBorder;
};
