// SPDX-License-Identifier: MIT
// The views that only show something: a line of text and a framed box.
#include "platform/interface/Box.h"
#include "platform/interface/StringView.h"

BStringView::BStringView(BRect frame, const char* name, const char* text, uint32 resizingMode,
                         uint32 flags)
    : BView(frame, name, resizingMode, flags), fText(text != nullptr ? text : "") {}

void BStringView::SetText(const char* text) {
    fText = text != nullptr ? text : "";
    StateChanged();
}

void BStringView::FillState(orv::ViewState* state) const {
    state->kind = orv::ViewKind::StringView;
    state->text = fText;
}

BBox::BBox(BRect frame, const char* name, uint32 resizingMode, uint32 flags, border_style border)
    : BView(frame, name, resizingMode, flags), fBorder(border) {}

void BBox::SetLabel(const char* label) {
    fHasLabel = label != nullptr;
    fLabel = label != nullptr ? label : "";
    StateChanged();
}

void BBox::FillState(orv::ViewState* state) const {
    state->kind = orv::ViewKind::Box;
    state->label = fLabel;
    state->border = fBorder;
}
