// SPDX-License-Identifier: MIT
#include "ui/OrvWindow.h"

#include <string>

#include "platform/application/AppDefs.h"
#include "platform/application/Application.h"
#include "platform/interface/StatusBar.h"
#include "platform/storage/Directory.h"
#include "platform/translation/TranslatorRoster.h"
#include "ui/FormControls.h"
#include "ui/Messages.h"
#include "ui/OrvView.h"

namespace {

constexpr BRect kFrame(150, 200, 550, 430);
constexpr BPoint kSettingsOffset(300, 100);

}  // namespace

OrvWindow::OrvWindow() : OrvWindow(BTranslatorRoster::Default()) {}

OrvWindow::OrvWindow(BTranslatorRoster* roster)
    : BWindow(kFrame, "Orvane 2.0 fr", B_FLOATING_WINDOW_LOOK, B_NORMAL_WINDOW_FEEL,
              B_NOT_RESIZABLE, B_CURRENT_WORKSPACE),
      fRoster(roster) {
    UpdateTranslators();
    std::vector<std::string> names;
    for (const OutputFormat& format : fFormats) {
        names.push_back(format.name);
    }
    fView = new OrvView(Bounds(), orv::form::kView, std::move(names));
    AddChild(fView);
}

OrvWindow::~OrvWindow() = default;

void OrvWindow::UpdateTranslators() {
    fFormats = orv::BuildOutputFormats(fRoster);
    fFormatCount = int32(fFormats.size());
}

void OrvWindow::MessageReceived(BMessage* message) {
    switch (message->what) {
        case MSG_FILES:
            TakeFileList(*message);
            break;
        case MSG_CONVERT:
            ConvertFiles();
            break;
        case MSG_ADVANCED:
            OpenAdvanced(fView->FormatIndex());
            break;
        case B_SIMPLE_DATA:
            // Drops are the view's affair.
            break;
        default:
            BWindow::MessageReceived(message);
            break;
    }
}

bool OrvWindow::QuitRequested() {
    if (be_app != nullptr) {
        be_app->PostMessage(B_QUIT_REQUESTED);
    }
    return true;
}

void OrvWindow::TakeFileList(const BMessage& message) {
    fRefs = std::make_unique<BMessage>(message);
    // Folders are replaced by their entries where they stood in the walk, breadth first:
    // the entries go to the end of the list and are looked at in their turn.
    entry_ref ref;
    for (int32 i = 0; fRefs->FindRef("refs", i, &ref) == B_OK;) {
        BEntry entry(&ref, false);
        if (entry.IsDirectory()) {
            fRefs->RemoveData("refs", i);
            AddEntriesFromDir(&entry);
        } else {
            ++i;
        }
    }
    type_code type;
    int32 count = 0;
    if (fRefs->GetInfo("refs", &type, &count) != B_OK) {
        count = 0;
    }
    fRefCount = count;
    fConverted = 0;
    UpdateView(kProgressChanged);
}

void OrvWindow::AddEntriesFromDir(BEntry* directory) {
    BDirectory folder(directory);
    if (folder.InitCheck() != B_OK) {
        return;
    }
    entry_ref ref;
    while (folder.GetNextRef(&ref) == B_OK) {
        fRefs->AddRef("refs", &ref);
    }
}

void OrvWindow::OpenAdvanced(long index) {
    if (index < 0 || index >= fFormatCount) {
        return;
    }
    OutputFormat& format = fFormats[size_t(index)];
    // Asked only now: the catalogue is built from what the roster knows of each translator
    // without loading its add-on, and the message only serves the configuration view.
    if (format.settings.IsEmpty()) {
        fRoster->GetConfigurationMessage(format.translator, &format.settings);
    }
    BRect extent(0, 0, -1, -1);
    BView* view = nullptr;
    const status_t status =
        fRoster->MakeConfigurationView(format.translator, &format.settings, &view, &extent);
    extent.OffsetBy(kSettingsOffset.x, kSettingsOffset.y);
    if (status != B_OK || view == nullptr) {
        return;
    }
    // Independent of this window: it closes on its own, and each request opens another.
    auto* window = new BWindow(extent, "Options avancées", B_FLOATING_WINDOW_LOOK,
                               B_NORMAL_WINDOW_FEEL, B_NOT_RESIZABLE, B_CURRENT_WORKSPACE);
    window->AddChild(view);
    window->Show();
}

void OrvWindow::UpdateView(unsigned long what) {
    if ((what & kProgressChanged) == 0 || fView == nullptr || fView->StatusBar() == nullptr) {
        return;
    }
    BStatusBar* bar = fView->StatusBar();
    bar->SetMaxValue(float(fRefCount));
    const std::string trailing = std::to_string(fConverted) + "/" + std::to_string(fRefCount);
    if (fRefCount > 0) {
        bar->Update(float(fConverted) - bar->CurrentValue(), "Nombre de fichiers convertis",
                    trailing.c_str());
    }
}

void OrvWindow::SetRunObserver(const BMessenger& observer) {
    fObserver = observer;
}

void OrvWindow::ReportRun() {
    ShowNote(fView->StatusBar(), orv::RunReportNote(fRefCount, fFailures, fWarnings));
    if (!fObserver.IsValid()) {
        return;
    }
    BMessage report(MSG_RUN_DONE);
    report.AddInt32("converted", int32(fConverted));
    report.AddInt32("count", fRefCount);
    report.AddInt32("failed", int32(fFailures.size()));
    for (const RunIssue& failure : fFailures) {
        report.AddString("failure", failure.path);
        report.AddString("reason", failure.reason);
    }
    for (const RunIssue& warning : fWarnings) {
        report.AddString("warning", warning.path);
        report.AddString("warning_reason", warning.reason);
    }
    fObserver.SendMessage(&report);
}
