// SPDX-License-Identifier: MIT
// The conversion run: every file of the held list in turn, with the options of the form.
#include "conversion/ConversionRun.h"
#include "platform/application/AppDefs.h"
#include "platform/interface/CheckBox.h"
#include "platform/interface/Menu.h"
#include "platform/interface/MenuItem.h"
#include "platform/interface/RadioButton.h"
#include "platform/interface/TextControl.h"
#include "ui/OrvView.h"
#include "ui/OrvWindow.h"

void OrvWindow::ConvertFiles() {
    BMenuItem* formatItem = fView->fFormatMenu->FindMarked();
    BMenuItem* filterItem = fView->fFilterMenu->FindMarked();

    fConverted = 0;
    fFailures.clear();
    fWarnings.clear();
    UpdateView(2);

    orv::ConversionOptions options;
    options.width = fView->fScaleX->Text();
    options.height = fView->fScaleY->Text();
    options.resize = !options.width.empty() || !options.height.empty();
    options.keepRatio = fView->fKeepRatio->Value() == B_CONTROL_ON;
    if (fView->fTrash->Value() == B_CONTROL_ON) {
        options.disposal = orv::SourceDisposal::Trash;
    }
    if (fView->fErase->Value() == B_CONTROL_ON) {
        options.disposal = orv::SourceDisposal::Erase;
    }
    options.removeOldExtension = fView->fDelExt->Value() == B_CONTROL_ON;
    options.addNewExtension = fView->fAddExt->Value() == B_CONTROL_ON;

    options.smooth = fView->fSmooth->Value() == B_CONTROL_ON;

    const int32 formatIndex = formatItem != nullptr ? fView->fFormatMenu->IndexOf(formatItem) : -1;
    if (formatIndex >= 0 && formatIndex < fFormatCount && fRefCount > 0) {
        options.filter = filterItem != nullptr ? fView->fFilterMenu->IndexOf(filterItem) : 0;
        std::vector<entry_ref> files;
        entry_ref ref;
        for (int32 i = 0; fRefs->FindRef("refs", i, &ref) == B_OK; ++i) {
            files.push_back(ref);
        }
        orv::RunSettings settings;
        settings.format = &fFormats[size_t(formatIndex)];
        settings.options = options;
        settings.roster = fRoster;
        settings.jobs = fJobs;
        // The status bar and the lists follow the list's order, as files are placed.
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
                UpdateView(2);
            },
            [this] { return fStop != nullptr && fStop->load(); });
    }

    ReportRun();
    if (fRefs != nullptr && fRefs->GetBool("CalledFromAddOn", false)) {
        PostMessage(B_QUIT_REQUESTED);
    }
}
