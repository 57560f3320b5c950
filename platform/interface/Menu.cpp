// SPDX-License-Identifier: MIT
// Menus, their items and the field that shows them.
#include "platform/interface/Menu.h"

#include <algorithm>
#include <cstring>

#include "platform/interface/InputMessage.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/Window.h"

// ---- BMenuItem

BMenuItem::BMenuItem(const char* label, BMessage* message, char shortcut, uint32 modifiers)
    : BInvoker(message, nullptr),
      fLabel(label != nullptr ? label : ""),
      fShortcut(shortcut),
      fModifiers(modifiers) {}

BMenuItem::~BMenuItem() {
    if (fMenu != nullptr) {
        fMenu->RemoveItem(this);
    }
}

void BMenuItem::SetLabel(const char* label) {
    fLabel = label != nullptr ? label : "";
    if (fMenu != nullptr) {
        fMenu->ItemChanged(this);
    }
}

void BMenuItem::SetMarked(bool marked) {
    if (marked == fMarked) {
        return;
    }
    fMarked = marked;
    if (fMenu != nullptr) {
        fMenu->ItemChanged(this);
    }
}

void BMenuItem::SetEnabled(bool enabled) {
    fEnabled = enabled;
    if (fMenu != nullptr) {
        fMenu->ItemChanged(this);
    }
}

char BMenuItem::Shortcut(uint32* modifiers) const {
    if (modifiers != nullptr) {
        *modifiers = fModifiers;
    }
    return fShortcut;
}

BLooper* BMenuItem::DefaultTarget() const {
    if (fMenu == nullptr || fMenu->Field() == nullptr) {
        return nullptr;
    }
    return fMenu->Field()->Window();
}

// ---- BMenu

BMenu::BMenu(const char* name, menu_layout layout)
    : fName(name != nullptr ? name : ""), fLayout(layout) {}

BMenu::~BMenu() {
    for (BMenuItem* item : fItems) {
        item->fMenu = nullptr;
        delete item;
    }
}

bool BMenu::AddItem(BMenuItem* item) {
    return AddItem(item, CountItems());
}

bool BMenu::AddItem(BMenuItem* item, int32 index) {
    if (item == nullptr || item->fMenu != nullptr || index < 0 || index > CountItems()) {
        return false;
    }
    fItems.insert(fItems.begin() + index, item);
    item->fMenu = this;
    if (item->fMarked) {
        ItemChanged(item);
    } else {
        Changed();
    }
    return true;
}

BMenuItem* BMenu::RemoveItem(int32 index) {
    BMenuItem* item = ItemAt(index);
    if (item == nullptr) {
        return nullptr;
    }
    fItems.erase(fItems.begin() + index);
    item->fMenu = nullptr;
    Changed();
    return item;
}

bool BMenu::RemoveItem(BMenuItem* item) {
    return RemoveItem(IndexOf(item)) != nullptr;
}

BMenuItem* BMenu::ItemAt(int32 index) const {
    if (index < 0 || index >= CountItems()) {
        return nullptr;
    }
    return fItems[size_t(index)];
}

int32 BMenu::IndexOf(const BMenuItem* item) const {
    const auto found = std::find(fItems.begin(), fItems.end(), item);
    return found == fItems.end() ? -1 : int32(found - fItems.begin());
}

BMenuItem* BMenu::FindMarked() const {
    for (BMenuItem* item : fItems) {
        if (item->IsMarked()) {
            return item;
        }
    }
    return nullptr;
}

void BMenu::SetRadioMode(bool on) {
    fRadioMode = on;
    Changed();
}

void BMenu::SetLabelFromMarked(bool on) {
    fLabelFromMarked = on;
    Changed();
}

void BMenu::SetEnabled(bool enabled) {
    fEnabled = enabled;
    Changed();
}

void BMenu::ItemChanged(BMenuItem* item) {
    if (fRadioMode && item->fMarked) {
        for (BMenuItem* other : fItems) {
            if (other != item) {
                other->fMarked = false;
            }
        }
    }
    Changed();
}

void BMenu::Changed() const {
    if (fField != nullptr) {
        fField->StateChanged();
    }
}

orv::MenuState BMenu::State() const {
    orv::MenuState state;
    state.name = fName;
    state.radioMode = fRadioMode;
    state.labelFromMarked = fLabelFromMarked;
    for (const BMenuItem* item : fItems) {
        if (item->IsMarked() && state.marked < 0) {
            state.marked = int32(state.items.size());
        }
        state.items.emplace_back(item->Label());
        state.enabled.push_back(item->IsEnabled());
    }
    state.shownLabel =
        fLabelFromMarked && state.marked >= 0 ? state.items[size_t(state.marked)] : fName;
    return state;
}

// ---- BMenuField

BMenuField::BMenuField(BRect frame, const char* name, const char* label, BMenu* menu,
                       bool fixedSize, uint32 resizingMode, uint32 flags)
    : BView(frame, name, resizingMode, flags),
      fLabel(label != nullptr ? label : ""),
      fMenu(menu),
      // Until told otherwise, a label takes half the width.
      fDivider(label != nullptr && label[0] != '\0' ? frame.Width() / 2 : 0),
      fFixedSize(fixedSize) {
    if (fMenu != nullptr) {
        fMenu->fField = this;
    }
}

BMenuField::BMenuField(BRect frame, const char* name, const char* label, BMenu* menu,
                       uint32 resizingMode, uint32 flags)
    : BMenuField(frame, name, label, menu, false, resizingMode, flags) {}

BMenuField::~BMenuField() = default;

void BMenuField::SetLabel(const char* label) {
    fLabel = label != nullptr ? label : "";
    StateChanged();
}

void BMenuField::SetDivider(float divider) {
    fDivider = divider;
    StateChanged();
}

void BMenuField::SetEnabled(bool enabled) {
    fEnabled = enabled;
    StateChanged();
}

void BMenuField::FillState(orv::ViewState* state) const {
    state->kind = orv::ViewKind::MenuField;
    state->label = fLabel;
    state->divider = fDivider;
    state->fixedSize = fFixedSize;
    state->enabled = fEnabled;
    if (fMenu != nullptr) {
        state->menu = fMenu->State();
        state->text = state->menu.shownLabel;
        state->value = state->menu.marked;
    }
}

bool BMenuField::ApplyInput(const BMessage& input) {
    if (orv::ActionOf(input) != orv::InputAction::ChooseItem || !fEnabled || fMenu == nullptr ||
        !fMenu->IsEnabled()) {
        return false;
    }
    BMenuItem* item = fMenu->ItemAt(input.GetInt32("index", -1));
    if (item == nullptr || !item->IsEnabled()) {
        return false;
    }
    if (fMenu->IsRadioMode()) {
        item->SetMarked(true);
    }
    item->Invoke();
    return true;
}
