// SPDX-License-Identifier: MIT
// The conversion run: every file of the held list in turn, with the options of the form.
#include "conversion/ConvertFile.h"
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

    const int32 formatIndex = formatItem != nullptr ? fView->fFormatMenu->IndexOf(formatItem) : -1;
    if (formatIndex >= 0 && formatIndex < fFormatCount && fRefCount > 0) {
        const OutputFormat& format = fFormats[size_t(formatIndex)];
        options.filter = filterItem != nullptr ? fView->fFilterMenu->IndexOf(filterItem) : 0;
        for (int32 i = 0; i < fRefCount; ++i) {
            entry_ref ref;
            if (fRefs->FindRef("refs", i, &ref) == B_OK) {
                const bool smooth = fView->fSmooth->Value() == B_CONTROL_ON;
                const orv::FileOutcome outcome =
                    orv::ConvertFile(ref, format, options, smooth, fRoster);
                if (outcome.status != B_OK) {
                    fFailures.push_back({ref.Path(), outcome.reason});
                } else if (!outcome.warning.empty()) {
                    fWarnings.push_back({ref.Path(), outcome.warning});
                }
            }
            ++fConverted;
            UpdateView(2);
        }
    }

    ReportRun();
    if (fRefs != nullptr && fRefs->GetBool("CalledFromAddOn", false)) {
        PostMessage(B_QUIT_REQUESTED);
    }
}
