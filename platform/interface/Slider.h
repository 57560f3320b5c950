// SPDX-License-Identifier: MIT
// BSlider: a value between two limits, set by dragging a thumb.
#pragma once

#include "platform/interface/Control.h"

class BSlider : public BControl {
public:
    BSlider(BRect frame, const char* name, const char* label, BMessage* message, int32 minValue,
            int32 maxValue, thumb_style thumbType = B_BLOCK_THUMB,
            uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
            uint32 flags = B_WILL_DRAW | B_NAVIGABLE | B_FRAME_EVENTS);

    // Kept within the limits.
    void SetValue(int32 value) override;
    // The limits in either order; the value moves inside them.
    void SetLimits(int32 minimum, int32 maximum);
    int32 MinValue() const { return fMinimum; }
    int32 MaxValue() const { return fMaximum; }

protected:
    void FillState(orv::ViewState* state) const override;
    bool ApplyInput(const BMessage& input) override;

private:
    int32 fMinimum;
    int32 fMaximum;
};
