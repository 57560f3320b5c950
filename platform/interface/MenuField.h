// SPDX-License-Identifier: MIT
// BMenuField: a label followed by a pop-up button that opens its menu. The menu belongs
// to the field from then on. With the fixed-size flag, the pop-up keeps the field's width
// whatever the length of the label it shows.
#pragma once

#include <memory>
#include <string>

#include "platform/interface/Menu.h"
#include "platform/interface/View.h"

class BMenuField : public BView {
public:
    BMenuField(BRect frame, const char* name, const char* label, BMenu* menu, bool fixedSize,
               uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
               uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    BMenuField(BRect frame, const char* name, const char* label, BMenu* menu,
               uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
               uint32 flags = B_WILL_DRAW | B_NAVIGABLE);
    ~BMenuField() override;

    BMenu* Menu() const { return fMenu.get(); }
    void SetLabel(const char* label);
    const char* Label() const { return fLabel.c_str(); }
    void SetDivider(float divider);
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return fEnabled; }

protected:
    void FillState(orv::ViewState* state) const override;
    // Choosing item "index": in radio mode it becomes the marked one; then it is invoked.
    bool ApplyInput(const BMessage& input) override;

private:
    friend class BMenu;

    std::string fLabel;
    std::unique_ptr<BMenu> fMenu;
    float fDivider;
    bool fFixedSize;
    bool fEnabled = true;
};
