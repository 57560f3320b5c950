// SPDX-License-Identifier: MIT
#include "platform/interface/StatusBar.h"

#include <algorithm>
#include <cmath>

BStatusBar::BStatusBar(BRect frame, const char* name, const char* label, const char* trailingLabel)
    : BView(frame, name, B_FOLLOW_LEFT | B_FOLLOW_TOP, B_WILL_DRAW),
      fLabel(label != nullptr ? label : ""),
      fTrailingLabel(trailingLabel != nullptr ? trailingLabel : "") {}

void BStatusBar::SetMaxValue(float max) {
    if (std::isfinite(max)) {
        fMaxValue = max;
        StateChanged();
    }
}

void BStatusBar::Update(float delta, const char* text, const char* trailingText) {
    SetTo(fCurrentValue + delta, text, trailingText);
}

void BStatusBar::SetTo(float value, const char* text, const char* trailingText) {
    if (std::isfinite(value)) {
        fCurrentValue = std::clamp(value, 0.0f, std::max(fMaxValue, 0.0f));
    }
    if (text != nullptr) {
        fText = text;
    }
    if (trailingText != nullptr) {
        fTrailingText = trailingText;
    }
    StateChanged();
}

void BStatusBar::Reset(const char* label, const char* trailingLabel) {
    fLabel = label != nullptr ? label : "";
    fTrailingLabel = trailingLabel != nullptr ? trailingLabel : "";
    fText.clear();
    fTrailingText.clear();
    fCurrentValue = 0;
    fMaxValue = kDefaultMaxValue;
    StateChanged();
}

void BStatusBar::SetText(const char* text) {
    fText = text != nullptr ? text : "";
    StateChanged();
}

void BStatusBar::FillState(orv::ViewState* state) const {
    state->kind = orv::ViewKind::StatusBar;
    state->label = fLabel;
    state->trailingLabel = fTrailingLabel;
    state->text = fText;
    state->trailingText = fTrailingText;
    state->maxValue = fMaxValue;
    state->currentValue = fCurrentValue;
    state->value = int32(fCurrentValue);
}
