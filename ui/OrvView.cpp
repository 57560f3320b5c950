// SPDX-License-Identifier: MIT
#include "ui/OrvView.h"

#include "image/OrvImage.h"
#include "platform/application/AppDefs.h"
#include "platform/interface/Box.h"
#include "platform/interface/Button.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/Font.h"
#include "platform/interface/Menu.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/RadioButton.h"
#include "platform/interface/StatusBar.h"
#include "platform/interface/StringView.h"
#include "platform/interface/TextControl.h"
#include "ui/Messages.h"
#include "ui/OrvWindow.h"

namespace {

constexpr uint32 kChildMode = B_FOLLOW_LEFT | B_FOLLOW_TOP;
constexpr uint32 kControlFlags = B_WILL_DRAW | B_NAVIGABLE;
constexpr uint32 kBoxFlags = B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE_JUMP;

constexpr rgb_color kViewColor = {230, 230, 230, 0};
constexpr rgb_color kTitleColor = {0, 0, 255, 255};
constexpr rgb_color kCreditColor = {220, 0, 0, 255};

constexpr const char* kCredit = "Par l'équipe Orvane — orvane@example.org";

BMenu* NewRadioMenu(const char* name) {
    auto* menu = new BMenu(name, B_ITEMS_IN_COLUMN);
    menu->SetLabelFromMarked(true);
    menu->SetRadioMode(true);
    return menu;
}

}  // namespace

OrvView::OrvView(BRect frame, const char* name)
    : BView(frame, name, B_FOLLOW_ALL_SIDES, B_WILL_DRAW) {
    SetViewColor(kViewColor);
}

OrvView::~OrvView() = default;

void OrvView::AttachedToWindow() {
    const BRect bounds = Bounds();
    const float R = bounds.right;
    const float B = bounds.bottom;

    BFont titleFont;
    titleFont.SetFace(B_BOLD_FACE | B_ITALIC_FACE);
    titleFont.SetSize(16);

    auto* title = new BStringView(BRect(15, 10, R - 15, 30), "MainText", "Orvane 2.0", kChildMode,
                                  B_WILL_DRAW);
    title->SetFont(&titleFont, B_FONT_ALL);
    title->SetHighColor(kTitleColor);
    AddChild(title);

    auto* credit =
        new BStringView(BRect(15, 30, R - 15, 41), "AuthorText", kCredit, kChildMode, B_WILL_DRAW);
    credit->SetFontSize(10);
    credit->SetHighColor(kCreditColor);
    AddChild(credit);

    fStatusBar = new BStatusBar(BRect(170, 45, R - 15, 65), "StatusBar", "", "");
    AddChild(fStatusBar);

    auto* options =
        new BBox(BRect(15, 45, 160, 185), nullptr, kChildMode, kBoxFlags, B_FANCY_BORDER);
    fScaleX = new BTextControl(BRect(4, 5, 115, 25), "BT_ScaleX", "X : ", "", nullptr, kChildMode,
                               kControlFlags);
    fScaleX->SetDivider(15);
    options->AddChild(fScaleX);
    fScaleY = new BTextControl(BRect(4, 27, 115, 47), "BT_ScaleY", "Y : ", "", nullptr, kChildMode,
                               kControlFlags);
    fScaleY->SetDivider(15);
    options->AddChild(fScaleY);
    fKeepRatio = new BCheckBox(BRect(4, 49, 140, 64), "CB_KeepRatio", "Garder les proportions",
                               nullptr, kChildMode, kControlFlags);
    fKeepRatio->SetValue(B_CONTROL_ON);
    options->AddChild(fKeepRatio);
    options->AddChild(
        new BBox(BRect(20, 74, 125, 75), nullptr, kChildMode, kBoxFlags, B_FANCY_BORDER));
    fSmooth = new BCheckBox(BRect(4, 83, 140, 98), "CB_Smooth", "Anti-crênelage", nullptr,
                            kChildMode, kControlFlags);
    options->AddChild(fSmooth);
    fDelExt = new BCheckBox(BRect(4, 100, 140, 115), "CB_DelExt", "Retirer l'ancienne ext.",
                            nullptr, kChildMode, kControlFlags);
    fDelExt->SetValue(B_CONTROL_ON);
    options->AddChild(fDelExt);
    fAddExt = new BCheckBox(BRect(4, 117, 140, 132), "CB_AddExt", "Ajouter la nouvelle ext.",
                            nullptr, kChildMode, kControlFlags);
    fAddExt->SetValue(B_CONTROL_ON);
    options->AddChild(fAddExt);
    AddChild(options);

    auto* oldFiles =
        new BBox(BRect(170, 85, R - 15, 155), nullptr, kChildMode, kBoxFlags, B_FANCY_BORDER);
    oldFiles->SetLabel("anciens fichiers");
    fTrash = new BRadioButton(BRect(15, 15, 165, 30), "RB_Trash", "les mettre dans la corbeille",
                              nullptr, kChildMode, kControlFlags);
    fTrash->SetValue(B_CONTROL_ON);
    oldFiles->AddChild(fTrash);
    fKeep = new BRadioButton(BRect(15, 32, 165, 47), "RB_Keep", "les conserver", nullptr,
                             kChildMode, kControlFlags);
    oldFiles->AddChild(fKeep);
    fErase = new BRadioButton(BRect(15, 49, 165, 64), "RB_Erase", "les effacer", nullptr,
                              kChildMode, kControlFlags);
    oldFiles->AddChild(fErase);
    AddChild(oldFiles);

    fFilterMenu = NewRadioMenu("");
    for (int32 i = 0; i < kFilterCount; ++i) {
        fFilterMenu->AddItem(new BMenuItem(label_filter[i], new BMessage()));
    }
    fFilterField =
        new BMenuField(BRect(170, 163, R - 15, 184), "M_Filter",
                       "Appliquer un filtre :", fFilterMenu, true, kChildMode, kControlFlags);
    fFilterField->SetDivider(90);
    AddChild(fFilterField);
    fFilterMenu->ItemAt(0)->SetMarked(true);

    // The catalogue is the window's; a view in another window offers no format.
    fFormatMenu = NewRadioMenu("Format de sortie");
    if (const auto* window = dynamic_cast<const OrvWindow*>(Window())) {
        for (int32 i = 0; i < window->FormatCount(); ++i) {
            fFormatMenu->AddItem(new BMenuItem(window->FormatAt(i).name.c_str(), new BMessage()));
        }
    }
    fFormatField = new BMenuField(BRect(15, B - 35, 160, B - 13), "M_Translator", "", fFormatMenu,
                                  true, kChildMode, kControlFlags);
    fFormatField->SetDivider(0);
    AddChild(fFormatField);

    AddChild(new BButton(BRect(170, B - 35, 230, B - 20), "BAdvanced", "Avancé",
                         new BMessage(MSG_ADVANCED), kChildMode, kControlFlags));
    AddChild(new BButton(BRect(R - 75, B - 35, R - 15, B - 20), "BValider", "Convertir",
                         new BMessage(MSG_CONVERT), kChildMode, kControlFlags));
}

void OrvView::MessageReceived(BMessage* message) {
    if (message->what != B_SIMPLE_DATA) {
        BView::MessageReceived(message);
        return;
    }
    type_code type;
    int32 count = 0;
    if (message->GetInfo("refs", &type, &count) != B_OK || count == 0) {
        return;
    }
    message->what = MSG_FILES;
    if (BWindow* window = Window()) {
        window->PostMessage(message);
    }
}
