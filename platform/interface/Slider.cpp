// SPDX-License-Identifier: MIT
#include "platform/interface/Slider.h"

#include <algorithm>

#include "platform/interface/InputMessage.h"

BSlider::BSlider(BRect frame, const char* name, const char* label, BMessage* message,
                 int32 minValue, int32 maxValue, thumb_style /*thumbType*/, uint32 resizingMode,
                 uint32 flags)
    : BControl(frame, name, label, message, resizingMode, flags),
      fMinimum(std::min(minValue, maxValue)),
      fMaximum(std::max(minValue, maxValue)) {
    StoreValue(fMinimum);
}

void BSlider::SetValue(int32 value) {
    BControl::SetValue(std::clamp(value, fMinimum, fMaximum));
}

void BSlider::SetLimits(int32 minimum, int32 maximum) {
    fMinimum = std::min(minimum, maximum);
    fMaximum = std::max(minimum, maximum);
    StoreValue(std::clamp(Value(), fMinimum, fMaximum));
    StateChanged();
}

void BSlider::FillState(orv::ViewState* state) const {
    BControl::FillState(state);
    state->kind = orv::ViewKind::Slider;
    state->minimum = fMinimum;
    state->maximum = fMaximum;
}

bool BSlider::ApplyInput(const BMessage& input) {
    if (orv::ActionOf(input) != orv::InputAction::SetValue || !IsEnabled()) {
        return false;
    }
    SetValue(input.GetInt32("value", Value()));
    Invoke();
    return true;
}
