// SPDX-License-Identifier: MIT
// BControl: a view with a label, a value and a message it sends when the user acts on it.
// A control with no target sends its message to its window.
#pragma once

#include <string>

#include "platform/interface/Invoker.h"
#include "platform/interface/View.h"

class BControl : public BView, public BInvoker {
public:
    // Takes `message` over.
    BControl(BRect frame, const char* name, const char* label, BMessage* message,
             uint32 resizingMode, uint32 flags);
    ~BControl() override;

    virtual void SetLabel(const char* label);
    const char* Label() const { return fLabel.c_str(); }
    virtual void SetValue(int32 value);
    int32 Value() const { return fValue; }
    virtual void SetEnabled(bool enabled);
    bool IsEnabled() const { return fEnabled; }

protected:
    BLooper* DefaultTarget() const override;
    void FillState(orv::ViewState* state) const override;
    // Sets the value without telling anybody but the display (for a radio group).
    void StoreValue(int32 value);

private:
    std::string fLabel;
    int32 fValue = B_CONTROL_OFF;
    bool fEnabled = true;
};
