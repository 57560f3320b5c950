// SPDX-License-Identifier: MIT
// The conversion run: every file of the held list, with the options of the form. Several
// files are worked on at once, but the status bar, the outputs' names, the sources' fate and
// the lists of failures all follow the list's order.
#include "conversion/ConversionRun.h"
#include "platform/application/AppDefs.h"
#include "ui/OrvView.h"
#include "ui/OrvWindow.h"

void OrvWindow::ConvertFiles() {
    // Read once: whatever the user does meanwhile waits in the window's queue.
    orv::ConversionOptions options = fView->Options();
    options.stripMetadata = fStripMetadata;

    fConverted = 0;
    fFailures.clear();
    fWarnings.clear();
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
        orv::RunConversion(
            files, settings,
            [&](size_t index, const orv::FileOutcome& outcome) {
                const std::string path = files[index].Path();
                if (outcome.status != B_OK) {
                    fFailures.push_back({path, outcome.reason});
                }
                for (const std::string& warning : outcome.warnings) {
                    fWarnings.push_back({path, warning});
                }
                ++fConverted;
                UpdateView(kProgressChanged);
            },
            [this] { return fStop != nullptr && fStop->load(); });
    }

    ReportRun();
    if (fRefs != nullptr && fRefs->GetBool("CalledFromAddOn", false)) {
        PostMessage(B_QUIT_REQUESTED);
    }
}
