// SPDX-License-Identifier: MIT
// BStatusBar: a progress bar with a label and a text on the left, a trailing label and a
// trailing text on the right, and a value between 0 and its maximum.
#pragma once

#include <string>

#include "platform/interface/View.h"

class BStatusBar : public BView {
public:
    BStatusBar(BRect frame, const char* name, const char* label = nullptr,
               const char* trailingLabel = nullptr);

    static constexpr float kDefaultMaxValue = 100.0f;

    // Changes the maximum only: the value stays as it is until the next Update.
    void SetMaxValue(float max);
    float MaxValue() const { return fMaxValue; }
    float CurrentValue() const { return fCurrentValue; }

    // Moves the value by `delta` (backwards too), kept between 0 and the maximum, and
    // replaces the text and the trailing text when they are given.
    void Update(float delta, const char* text = nullptr, const char* trailingText = nullptr);
    // Sets the value directly, with the same rules.
    void SetTo(float value, const char* text = nullptr, const char* trailingText = nullptr);
    // Back to value 0, maximum 100, no texts, and the labels given.
    void Reset(const char* label = nullptr, const char* trailingLabel = nullptr);

    void SetText(const char* text);
    const char* Text() const { return fText.c_str(); }
    const char* TrailingText() const { return fTrailingText.c_str(); }
    const char* Label() const { return fLabel.c_str(); }
    const char* TrailingLabel() const { return fTrailingLabel.c_str(); }

protected:
    void FillState(orv::ViewState* state) const override;

private:
    float fMaxValue = kDefaultMaxValue;
    float fCurrentValue = 0;
    std::string fLabel;
    std::string fTrailingLabel;
    std::string fText;
    std::string fTrailingText;
};
