// SPDX-License-Identifier: MIT
#include "platform/interface/Control.h"

#include "platform/interface/Window.h"

BControl::BControl(BRect frame, const char* name, const char* label, BMessage* message,
                   uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags),
      BInvoker(message, nullptr),
      fLabel(label != nullptr ? label : "") {}

BControl::~BControl() = default;

void BControl::SetLabel(const char* label) {
    fLabel = label != nullptr ? label : "";
    StateChanged();
}

void BControl::SetValue(int32 value) {
    StoreValue(value);
}

void BControl::StoreValue(int32 value) {
    if (value != fValue) {
        fValue = value;
        StateChanged();
    }
}

void BControl::SetEnabled(bool enabled) {
    if (enabled != fEnabled) {
        fEnabled = enabled;
        StateChanged();
    }
}

BLooper* BControl::DefaultTarget() const {
    return Window();
}

void BControl::FillState(orv::ViewState* state) const {
    state->enabled = fEnabled;
    state->label = fLabel;
    state->value = fValue;
}
