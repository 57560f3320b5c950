// SPDX-License-Identifier: MIT
#include "platform/interface/SettingsView.h"

#include <string>

#include "platform/interface/CheckBox.h"
#include "platform/interface/MenuField.h"
#include "platform/interface/Slider.h"
#include "platform/interface/StringView.h"
#include "platform/support/ErrorReason.h"
#include "platform/translation/ImageTranslator.h"
#include "platform/translation/TranslatorSettings.h"

namespace orv {

namespace {

constexpr float kWidth = 320;
constexpr float kMargin = 10;
constexpr float kTitleHeight = 20;
constexpr float kRowHeight = 30;
constexpr float kStatusHeight = 16;
constexpr char kStatusName[] = "SettingsStatus";

float RowTop(size_t row) {
    return kMargin + kTitleHeight + kMargin + float(row) * kRowHeight;
}

BRect ViewFrame(size_t rows) {
    return BRect(0, 0, kWidth, RowTop(rows) + kStatusHeight + kMargin);
}

BMessage* ChangeMessage(const SettingSchema& schema) {
    auto* message = new BMessage(SettingsView::kSettingChanged);
    message->AddString("setting", schema.name);
    return message;
}

BView* MakeControl(const SettingSchema& schema, int32 current, BRect frame) {
    switch (schema.kind) {
        case SettingSchema::Kind::Bool: {
            auto* box = new BCheckBox(frame, schema.name, schema.label, ChangeMessage(schema));
            box->SetValue(current != 0 ? B_CONTROL_ON : B_CONTROL_OFF);
            return box;
        }
        case SettingSchema::Kind::Int: {
            auto* slider = new BSlider(frame, schema.name, schema.label, ChangeMessage(schema),
                                       schema.minimum, schema.maximum);
            slider->SetValue(current);
            return slider;
        }
        case SettingSchema::Kind::Choice: {
            auto* menu = new BMenu(schema.label);
            menu->SetRadioMode(true);
            menu->SetLabelFromMarked(true);
            for (const SettingChoice& choice : schema.choices) {
                BMessage* message = ChangeMessage(schema);
                message->AddInt32("value", choice.value);
                auto* item = new BMenuItem(choice.label, message);
                item->SetMarked(choice.value == current);
                menu->AddItem(item);
            }
            auto* field = new BMenuField(frame, schema.name, schema.label, menu, true);
            field->SetDivider(frame.Width() / 2);
            return field;
        }
    }
    return nullptr;
}

}  // namespace

SettingsView::SettingsView(const char* title, TranslatorSettings& settings)
    : BView(ViewFrame(settings.Schema().size()), "Settings", B_FOLLOW_ALL_SIDES, B_WILL_DRAW),
      fSettings(settings) {
    SetViewColor(230, 230, 230, 255);
    auto* heading =
        new BStringView(BRect(kMargin, kMargin, kWidth - kMargin, kMargin + kTitleHeight - 1),
                        "SettingsTitle", title);
    BFont bold;
    bold.SetFace(B_BOLD_FACE);
    heading->SetFont(&bold, B_FONT_FACE);
    AddChild(heading);
    const auto schema = settings.Schema();
    for (size_t row = 0; row < schema.size(); row++) {
        const BRect frame(kMargin, RowTop(row), kWidth - kMargin, RowTop(row) + kRowHeight - 6);
        if (BView* control = MakeControl(schema[row], settings.Int32(schema[row].name), frame)) {
            AddChild(control);
        }
    }
    const float statusTop = RowTop(schema.size());
    AddChild(
        new BStringView(BRect(kMargin, statusTop, kWidth - kMargin, statusTop + kStatusHeight - 1),
                        kStatusName, ""));
}

void SettingsView::AttachedToWindow() {
    // The controls answer this view, which must be in a window to be their target.
    for (int32 i = 0; i < CountChildren(); i++) {
        BView* child = ChildAt(i);
        if (auto* control = dynamic_cast<BControl*>(child)) {
            control->SetTarget(this);
        } else if (auto* field = dynamic_cast<BMenuField*>(child)) {
            for (int32 j = 0; j < field->Menu()->CountItems(); j++) {
                field->Menu()->ItemAt(j)->SetTarget(this);
            }
        }
    }
}

void SettingsView::MessageReceived(BMessage* message) {
    if (message->what != kSettingChanged) {
        BView::MessageReceived(message);
        return;
    }
    const char* name = message->GetString("setting", "");
    int32 value = 0;
    if (message->FindInt32("value", &value) != B_OK) {
        auto* control = dynamic_cast<BControl*>(FindView(name));
        if (control == nullptr) {
            return;
        }
        value = control->Value();
    }
    const status_t status = fSettings.Set(name, value);
    auto* line = static_cast<BStringView*>(FindView(kStatusName));
    line->SetText(status == B_OK ? ""
                                 : ("Réglage non enregistré : " + ErrorReasonOr(status)).c_str());
}

status_t MakeSettingsView(ImageTranslator& translator, BMessage* /*ioExtension*/, BView** outView,
                          BRect* outExtent) {
    if (outView == nullptr || outExtent == nullptr) {
        return B_BAD_VALUE;
    }
    auto* view = new SettingsView(translator.TranslatorName(), translator.Settings());
    *outView = view;
    *outExtent = view->Bounds();
    return B_OK;
}

void RegisterSettingsViews() {
    SetConfigurationViewFactory(&MakeSettingsView);
}

}  // namespace orv
