// SPDX-License-Identifier: MIT
// The conversion run: every file of the held list, with the options of the form. Several
// files are worked on at once, but the status bar, the outputs' names, the sources' fate and
// the lists of failures all follow the list's order.
#include "conversion/ConversionRun.h"
#include "platform/application/AppDefs.h"
#include "platform/interface/InputMessage.h"
#include "platform/interface/StatusBar.h"
#include "ui/OrvView.h"
#include "ui/OrvWindow.h"

void OrvWindow::ConvertFiles() {
    // Read once: whatever the user does meanwhile waits in the window's queue.
    orv::ConversionOptions options = fView->Options();
    options.stripMetadata = fStripMetadata;

    fConverted = 0;
    fRun = orv::RunOutcome{};
    // A folder that could not be read is a failure of every run over the list.
    fRun.failures = fUnreadableFolders;
    fRun.count = fRefCount + int32(fUnreadableFolders.size());
    UpdateView(kProgressChanged);

    if (options.format >= 0 && options.format < fFormatCount && fRefCount > 0) {
        std::vector<entry_ref> files;
        entry_ref ref;
        for (int32 i = 0; fRefs->FindRef("refs", i, &ref) == B_OK; ++i) {
            files.push_back(ref);
        }
        orv::RunSettings settings;
        settings.format = &fFormats[size_t(options.format)];
        settings.options = options;
        settings.roster = fRoster;
        settings.jobs = fJobs;
        const size_t done = orv::RunConversion(
            files, settings,
            [&](size_t index, const orv::FileOutcome& outcome) {
                const std::string path = files[index].Path();
                if (outcome.status != B_OK) {
                    // In a folder, a file that is no picture is simply not the user's
                    // concern; named, it is a file the user expected to see converted.
                    const bool skip =
                        outcome.notAPicture && index < fFromWalk.size() && fFromWalk[index];
                    (skip ? fRun.skipped : fRun.failures).push_back({path, outcome.reason});
                }
                for (const std::string& warning : outcome.warnings) {
                    fRun.warnings.push_back({path, warning});
                }
                ++fConverted;
                UpdateView(kProgressChanged);
            },
            [this] { return fStop != nullptr && fStop->load(); });
        fRun.interrupted = done < files.size();
    }
    fRun.processed = int32(fConverted);

    ReportRun();
    if (fRefs != nullptr && fRefs->GetBool("CalledFromAddOn", false)) {
        EndAddOnRun();
    }
}

// A run the file manager started closes the window once it has gone well. When files failed
// or were converted with a warning, the user must get to know: a desktop notice tells the
// count and the first reasons, and its action brings the window back with the full list;
// without a notification service the window stays, its list open, until the user closes it.
void OrvWindow::EndAddOnRun() {
    if (!fRun.HasProblems()) {
        PostMessage(B_QUIT_REQUESTED);
        return;
    }
    fNoticePending = true;
    Notify(orv::RunNotice(fRun));
}

void OrvWindow::NoticeAnswered(const BMessage& message) {
    if (!fNoticePending) {
        return;
    }
    switch (orv::NoticeOutcome(message.GetInt32("outcome", 0))) {
        case orv::NoticeOutcome::Shown:
            // The notice speaks for the run: the window goes out of the way meanwhile.
            Hide();
            return;
        case orv::NoticeOutcome::ActionChosen:
        case orv::NoticeOutcome::Unavailable: {
            fNoticePending = false;
            Show();
            orv::ViewNote note = orv::RunReportNote(fRun);
            note.openList = true;
            ShowNote(fView->StatusBar(), note);
            return;
        }
        case orv::NoticeOutcome::Closed:
            fNoticePending = false;
            PostMessage(B_QUIT_REQUESTED);
            return;
    }
}
