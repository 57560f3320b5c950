// SPDX-License-Identifier: MIT
// A translator's settings window contents, built from its settings schema: a slider for a
// number, a check box for a yes/no setting, a pop-up menu for a choice. A change applies
// at once through TranslatorSettings::Set, which saves it; a change that cannot be saved
// says why on the view's last line.
#pragma once

#include "platform/interface/View.h"
#include "platform/translation/ConfigurationView.h"

namespace orv {

class TranslatorSettings;

class SettingsView : public BView {
public:
    // `settings` must outlive the view (the translator's own settings do).
    SettingsView(const char* title, TranslatorSettings& settings);

    void AttachedToWindow() override;
    void MessageReceived(BMessage* message) override;

    // The code of the controls' messages; field "setting" names the setting, and a menu
    // item's message carries its choice in "value".
    static constexpr uint32 kSettingChanged = FourCC("oSET");

private:
    TranslatorSettings& fSettings;
};

// The factory ImageTranslator::MakeConfigurationView calls: a new SettingsView of the
// translator's settings and its extent, at the origin. `ioExtension` is not used: the
// translator's settings, as saved, are what the view shows and changes.
status_t MakeSettingsView(ImageTranslator& translator, BMessage* ioExtension, BView** outView,
                          BRect* outExtent);

// Registers MakeSettingsView for the process; the program calls it at start-up.
void RegisterSettingsViews();

}  // namespace orv
