// SPDX-License-Identifier: MIT
// BMenuItem: one entry of a menu, with a label, a message and a mark.
#pragma once

#include <string>

#include "platform/interface/Invoker.h"

class BMenu;

class BMenuItem : public BInvoker {
public:
    // Takes `message` over.
    BMenuItem(const char* label, BMessage* message, char shortcut = 0, uint32 modifiers = 0);
    ~BMenuItem() override;

    void SetLabel(const char* label);
    const char* Label() const { return fLabel.c_str(); }
    // In a menu in radio mode, marking an item unmarks the others.
    void SetMarked(bool marked);
    bool IsMarked() const { return fMarked; }
    void SetEnabled(bool enabled);
    bool IsEnabled() const { return fEnabled; }
    char Shortcut(uint32* modifiers = nullptr) const;
    BMenu* Menu() const { return fMenu; }

protected:
    // An item with no target sends its message to the window of its menu's field.
    BLooper* DefaultTarget() const override;

private:
    friend class BMenu;

    std::string fLabel;
    char fShortcut;
    uint32 fModifiers;
    bool fMarked = false;
    bool fEnabled = true;
    BMenu* fMenu = nullptr;
};
