// SPDX-License-Identifier: MIT
// BMenu: items in the order added. In radio mode exactly one item stays marked once one
// is; with label-from-marked the field showing the menu reads the marked item's label, or
// the menu's name while none is marked.
//
// This menu is no view of its own: it belongs to the BMenuField
// that shows it, and the display draws it as that field's pop-up.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/interface/DisplayBackend.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/interface/MenuItem.h"

class BMenuField;

class BMenu {
public:
    explicit BMenu(const char* name, menu_layout layout = B_ITEMS_IN_COLUMN);
    BMenu(const BMenu&) = delete;
    BMenu& operator=(const BMenu&) = delete;
    // Deletes its items.
    virtual ~BMenu();

    const char* Name() const { return fName.c_str(); }
    menu_layout Layout() const { return fLayout; }

    // Takes the item over; false (and the item stays the caller's) when it already
    // belongs to a menu.
    bool AddItem(BMenuItem* item);
    bool AddItem(BMenuItem* item, int32 index);
    // Gives the item back to the caller.
    BMenuItem* RemoveItem(int32 index);
    bool RemoveItem(BMenuItem* item);
    BMenuItem* ItemAt(int32 index) const;
    int32 CountItems() const { return int32(fItems.size()); }
    // -1 when the item is not in this menu.
    int32 IndexOf(const BMenuItem* item) const;
    BMenuItem* FindMarked() const;

    void SetRadioMode(bool on);
    bool IsRadioMode() const { return fRadioMode; }
    void SetLabelFromMarked(bool on);
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return fEnabled; }

    // The field showing this menu, and what the display shows of it.
    BMenuField* Field() const { return fField; }
    orv::MenuState State() const;

private:
    friend class BMenuItem;
    friend class BMenuField;

    // Called by an item whose state changed.
    void ItemChanged(BMenuItem* item);
    void Changed() const;

    std::string fName;
    menu_layout fLayout;
    std::vector<BMenuItem*> fItems;
    bool fRadioMode = false;
    bool fLabelFromMarked = false;
    bool fEnabled = true;
    BMenuField* fField = nullptr;
};
