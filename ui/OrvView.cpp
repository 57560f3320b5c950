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
#include "platform/interface/Window.h"
#include "ui/FormControls.h"
#include "ui/Messages.h"

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

BCheckBox* NewCheckBox(BRect frame, const char* name, const char* label, bool on) {
    auto* box = new BCheckBox(frame, name, label, nullptr, kChildMode, kControlFlags);
    box->SetValue(on ? B_CONTROL_ON : B_CONTROL_OFF);
    return box;
}

BRadioButton* NewRadioButton(BRect frame, const char* name, const char* label) {
    return new BRadioButton(frame, name, label, nullptr, kChildMode, kControlFlags);
}

BTextControl* NewSideControl(BRect frame, const char* name, const char* label) {
    auto* control = new BTextControl(frame, name, label, "", nullptr, kChildMode, kControlFlags);
    control->SetDivider(15);
    return control;
}

bool IsOn(const BControl* control) {
    return control->Value() == B_CONTROL_ON;
}

int32 MarkedIndex(const BMenu* menu, int32 none) {
    BMenuItem* marked = menu->FindMarked();
    return marked != nullptr ? menu->IndexOf(marked) : none;
}

}  // namespace

OrvView::OrvView(BRect frame, const char* name, std::vector<std::string> formats)
    : BView(frame, name, B_FOLLOW_ALL_SIDES, B_WILL_DRAW), fFormats(std::move(formats)) {
    SetViewColor(kViewColor);
}

OrvView::~OrvView() = default;

void OrvView::AttachedToWindow() {
    const BRect bounds = Bounds();
    AddHeading(bounds.right);
    AddSizeOptions();
    AddOldFileChoices(bounds.right);
    AddMenus(bounds.right, bounds.bottom);
}

// The title, the credit and the status bar.
void OrvView::AddHeading(float right) {
    BFont titleFont;
    titleFont.SetFace(B_BOLD_FACE | B_ITALIC_FACE);
    titleFont.SetSize(16);
    auto* title = new BStringView(BRect(15, 10, right - 15, 30), orv::form::kTitle, "Orvane 2.0",
                                  kChildMode, B_WILL_DRAW);
    title->SetFont(&titleFont, B_FONT_ALL);
    title->SetHighColor(kTitleColor);
    AddChild(title);

    auto* credit = new BStringView(BRect(15, 30, right - 15, 41), orv::form::kCredit, kCredit,
                                   kChildMode, B_WILL_DRAW);
    credit->SetFontSize(10);
    credit->SetHighColor(kCreditColor);
    AddChild(credit);

    fStatusBar = new BStatusBar(BRect(170, 45, right - 15, 65), orv::form::kStatusBar, "", "");
    AddChild(fStatusBar);
}

// The box of the new size, the smoothing and the extensions.
void OrvView::AddSizeOptions() {
    auto* options =
        new BBox(BRect(15, 45, 160, 185), nullptr, kChildMode, kBoxFlags, B_FANCY_BORDER);
    fScaleX = NewSideControl(BRect(4, 5, 115, 25), orv::form::kScaleX, "X : ");
    options->AddChild(fScaleX);
    fScaleY = NewSideControl(BRect(4, 27, 115, 47), orv::form::kScaleY, "Y : ");
    options->AddChild(fScaleY);
    fKeepRatio =
        NewCheckBox(BRect(4, 49, 140, 64), orv::form::kKeepRatio, "Garder les proportions", true);
    options->AddChild(fKeepRatio);
    options->AddChild(
        new BBox(BRect(20, 74, 125, 75), nullptr, kChildMode, kBoxFlags, B_FANCY_BORDER));
    fSmooth = NewCheckBox(BRect(4, 83, 140, 98), orv::form::kSmooth, "Anti-crênelage", false);
    options->AddChild(fSmooth);
    fDelExt = NewCheckBox(BRect(4, 100, 140, 115), orv::form::kRemoveOldExtension,
                          "Retirer l'ancienne ext.", true);
    options->AddChild(fDelExt);
    fAddExt = NewCheckBox(BRect(4, 117, 140, 132), orv::form::kAddNewExtension,
                          "Ajouter la nouvelle ext.", true);
    options->AddChild(fAddExt);
    AddChild(options);
}

// What becomes of the sources: one group of three, the trash first and chosen.
void OrvView::AddOldFileChoices(float right) {
    auto* oldFiles =
        new BBox(BRect(170, 85, right - 15, 155), nullptr, kChildMode, kBoxFlags, B_FANCY_BORDER);
    oldFiles->SetLabel("anciens fichiers");
    fTrash =
        NewRadioButton(BRect(15, 15, 165, 30), orv::form::kTrash, "les mettre dans la corbeille");
    fTrash->SetValue(B_CONTROL_ON);
    oldFiles->AddChild(fTrash);
    oldFiles->AddChild(NewRadioButton(BRect(15, 32, 165, 47), orv::form::kKeep, "les conserver"));
    fErase = NewRadioButton(BRect(15, 49, 165, 64), orv::form::kErase, "les effacer");
    oldFiles->AddChild(fErase);
    AddChild(oldFiles);
}

// The filter and format menus and the two buttons.
void OrvView::AddMenus(float right, float bottom) {
    fFilterMenu = NewRadioMenu("");
    for (int32 i = 0; i < kFilterCount; ++i) {
        fFilterMenu->AddItem(new BMenuItem(label_filter[i], new BMessage()));
    }
    auto* filterField =
        new BMenuField(BRect(170, 163, right - 15, 184), orv::form::kFilterMenu,
                       "Appliquer un filtre :", fFilterMenu, true, kChildMode, kControlFlags);
    filterField->SetDivider(90);
    AddChild(filterField);
    fFilterMenu->ItemAt(kNoFilter)->SetMarked(true);

    fFormatMenu = NewRadioMenu("Format de sortie");
    for (const std::string& format : fFormats) {
        fFormatMenu->AddItem(new BMenuItem(format.c_str(), new BMessage()));
    }
    auto* formatField =
        new BMenuField(BRect(15, bottom - 35, 160, bottom - 13), orv::form::kFormatMenu, "",
                       fFormatMenu, true, kChildMode, kControlFlags);
    formatField->SetDivider(0);
    AddChild(formatField);

    AddChild(new BButton(BRect(170, bottom - 35, 230, bottom - 20), orv::form::kAdvanced, "Avancé",
                         new BMessage(MSG_ADVANCED), kChildMode, kControlFlags));
    AddChild(new BButton(BRect(right - 75, bottom - 35, right - 15, bottom - 20),
                         orv::form::kConvert, "Convertir", new BMessage(MSG_CONVERT), kChildMode,
                         kControlFlags));
}

int32 OrvView::FormatIndex() const {
    return MarkedIndex(fFormatMenu, -1);
}

orv::ConversionOptions OrvView::Options() const {
    orv::ConversionOptions options;
    options.format = FormatIndex();
    options.filter = MarkedIndex(fFilterMenu, kNoFilter);
    options.width = fScaleX->Text();
    options.height = fScaleY->Text();
    options.resize = !options.width.empty() || !options.height.empty();
    options.keepRatio = IsOn(fKeepRatio);
    options.smooth = IsOn(fSmooth);
    options.disposal = IsOn(fErase)   ? orv::SourceDisposal::Erase
                       : IsOn(fTrash) ? orv::SourceDisposal::Trash
                                      : orv::SourceDisposal::Keep;
    options.removeOldExtension = IsOn(fDelExt);
    options.addNewExtension = IsOn(fAddExt);
    return options;
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
