// SPDX-License-Identifier: MIT
#include "ui/OrvWindow.h"

#include <string>

#include "platform/application/AppDefs.h"
#include "platform/application/Application.h"
#include "platform/interface/InputMessage.h"
#include "platform/interface/StatusBar.h"
#include "platform/translation/TranslatorRoster.h"
#include "ui/FileList.h"
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
        case orv::kNoticeMessage:
            NoticeAnswered(*message);
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
    std::vector<entry_ref> named;
    entry_ref ref;
    for (int32 i = 0; message.FindRef("refs", i, &ref) == B_OK; ++i) {
        named.push_back(ref);
    }
    orv::FileList list = orv::BuildFileList(named);
    // The message keeps its other fields ("CalledFromAddOn"); its refs become the list's.
    fRefs = std::make_unique<BMessage>(message);
    fRefs->RemoveName("refs");
    for (const entry_ref& file : list.refs) {
        fRefs->AddRef("refs", &file);
    }
    fFromWalk = std::move(list.fromWalk);
    fUnreadableFolders = std::move(list.unreadable);
    fRefCount = int32(list.refs.size());
    fConverted = 0;
    // A new list is a new errand: what becomes of an earlier run's notice no longer matters.
    fNoticePending = false;
    UpdateView(kProgressChanged);
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
    ShowNote(fView->StatusBar(), orv::RunReportNote(fRun));
    if (!fObserver.IsValid()) {
        return;
    }
    BMessage report(MSG_RUN_DONE);
    report.AddInt32("converted", int32(fConverted));
    report.AddInt32("count", fRun.count);
    report.AddInt32("failed", int32(fRun.failures.size()));
    report.AddInt32("skipped", int32(fRun.skipped.size()));
    report.AddBool("interrupted", fRun.interrupted);
    const auto add = [&report](const std::vector<RunIssue>& issues, const char* pathField,
                               const char* reasonField) {
        for (const RunIssue& issue : issues) {
            report.AddString(pathField, issue.path);
            report.AddString(reasonField, issue.reason);
        }
    };
    add(fRun.failures, "failure", "reason");
    add(fRun.warnings, "warning", "warning_reason");
    add(fRun.skipped, "skip", "skip_reason");
    fObserver.SendMessage(&report);
}
