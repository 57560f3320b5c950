// SPDX-License-Identifier: MIT
// The conversion run: every file of the held list in turn, with the options of the form.
#include "conversion/ConvertFile.h"
#include "platform/application/AppDefs.h"
#include "ui/OrvView.h"
#include "ui/OrvWindow.h"

void OrvWindow::ConvertFiles() {
    // Read once: whatever the user does meanwhile waits in the window's queue.
    const orv::ConversionOptions options = fView->Options();

    fConverted = 0;
    fFailures.clear();
    fWarnings.clear();
    UpdateView(kProgressChanged);

    if (options.format >= 0 && options.format < fFormatCount && fRefCount > 0) {
        const OutputFormat& format = fFormats[size_t(options.format)];
        for (int32 i = 0; i < fRefCount; ++i) {
            entry_ref ref;
            if (fRefs->FindRef("refs", i, &ref) == B_OK) {
                const orv::FileOutcome outcome = orv::ConvertFile(ref, format, options, fRoster);
                if (outcome.status != B_OK) {
                    fFailures.push_back({ref.Path(), outcome.reason});
                } else if (!outcome.warning.empty()) {
                    fWarnings.push_back({ref.Path(), outcome.warning});
                }
            }
            ++fConverted;
            UpdateView(kProgressChanged);
        }
    }

    ReportRun();
    if (fRefs != nullptr && fRefs->GetBool("CalledFromAddOn", false)) {
        PostMessage(B_QUIT_REQUESTED);
    }
}
