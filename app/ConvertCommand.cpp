// SPDX-License-Identifier: MIT
#include "app/ConvertCommand.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/CatalogueCommands.h"
#include "app/FormatLookup.h"
#include "app/Progress.h"
#include "app/WatchedDisplay.h"
#include "platform/application/Looper.h"
#include "platform/support/ErrorReason.h"
#include "ui/FormControls.h"
#include "ui/Messages.h"
#include "ui/OrvWindow.h"
#include "ui/RunReports.h"

namespace orv::cli {

namespace {

// Sets the form through the display as a user would: a click toggles a check box, so
// it is clicked only when it is not already as wanted.
class FormFiller {
public:
    FormFiller(HeadlessDisplay& display, WindowId window) : fDisplay(display), fWindow(window) {}

    void Choose(const char* field, int32 index) {
        Check(field, fDisplay.Choose(fWindow, field, index));
    }
    void Type(const char* field, const std::string& text) {
        Check(field, fDisplay.Type(fWindow, field, text));
    }
    void Click(const char* control) { Check(control, fDisplay.Click(fWindow, control)); }
    void SetCheckBox(const char* box, bool on) {
        const std::optional<ViewState> shown = fDisplay.FindView(fWindow, box);
        if (!shown) {
            Check(box, B_NAME_NOT_FOUND);
        } else if ((shown->value == 1) != on) {
            Click(box);
        }
    }

    // The first control the form did not have, or empty.
    const std::string& Missing() const { return fMissing; }

private:
    void Check(const char* name, status_t status) {
        if (status != B_OK && fMissing.empty()) {
            fMissing = name;
        }
    }

    HeadlessDisplay& fDisplay;
    WindowId fWindow;
    std::string fMissing;
};

void FillForm(FormFiller& filler, const ConvertRequest& request, int32 formatIndex) {
    const ConversionOptions& options = request.options;
    filler.Choose(form::kFormatMenu, formatIndex);
    if (request.filterGiven) {
        filler.Choose(form::kFilterMenu, options.filter);
    }
    if (!options.width.empty()) {
        filler.Type(form::kScaleX, options.width);
    }
    if (!options.height.empty()) {
        filler.Type(form::kScaleY, options.height);
    }
    filler.SetCheckBox(form::kKeepRatio, options.keepRatio);
    filler.SetCheckBox(form::kSmooth, options.smooth);
    filler.SetCheckBox(form::kRemoveOldExtension, options.removeOldExtension);
    filler.SetCheckBox(form::kAddNewExtension, options.addNewExtension);
    switch (options.disposal) {
        case SourceDisposal::Keep:
            filler.Click(form::kKeep);
            break;
        case SourceDisposal::Trash:
            filler.Click(form::kTrash);
            break;
        case SourceDisposal::Erase:
            filler.Click(form::kErase);
            break;
    }
}

// Set by the first Ctrl-C (or SIGTERM): the run stops at the next file's end.
std::atomic<bool> gInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "read from a signal handler");

void OnInterrupt(int) {
    gInterrupted.store(true);
    static const char kNote[] =
        "\norvane : arrêt après le fichier en cours (une seconde fois : arrêt immédiat)\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

// A run killed in the middle of a file would leave that file's hidden temporary output
// behind; so the first interruption only asks to stop, and the second, should the user
// not want to wait, ends the program as usual.
void CatchInterruptions() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void PrintIssues(const BMessage& report, const char* pathField, const char* reasonField,
                 const char* prefix) {
    std::string path;
    std::string reason;
    for (int32 i = 0; report.FindString(pathField, i, &path) == B_OK; ++i) {
        if (report.FindString(reasonField, i, &reason) != B_OK) {
            reason.clear();
        }
        std::fprintf(stderr, "%s : %s : %s\n", prefix, path.c_str(),
                     reason.empty() ? "raison inconnue" : reason.c_str());
    }
}

}  // namespace

std::string Summary(int32 count, int32 failed) {
    const int32 converted = count - failed;
    if (count == 0) {
        return "aucun fichier à convertir";
    }
    std::string text = std::to_string(converted) +
                       (converted > 1 ? " fichiers convertis" : " fichier converti") + " sur " +
                       std::to_string(count);
    if (failed > 0) {
        text += ", " + std::to_string(failed) + " en échec";
    }
    return text;
}

namespace {

// Progress from the status bar, which moves on the window's thread between files: where an
// interrupted run can end with every file either done or not begun. `window` is read when
// the bar moves, once it is set.
WatchedDisplay::Watchers ProgressWatchers(Progress& progress, OrvWindow* const& window) {
    WatchedDisplay::Watchers watchers;
    watchers.statusBar = [&progress, &window](const ViewState& bar) {
        progress.Update(int32(bar.currentValue), int32(bar.maxValue));
        if (gInterrupted.load() && window != nullptr) {
            progress.Finish();
            for (const RunIssue& failure : window->Failures()) {
                std::fprintf(stderr, "échec : %s : %s\n", failure.path.c_str(),
                             failure.reason.c_str());
            }
            std::fprintf(stderr, "conversion interrompue : %d/%d fichiers traités\n",
                         int(bar.currentValue), int(bar.maxValue));
            std::_Exit(130);
        }
    };
    return watchers;
}

}  // namespace

int RunConvert(BTranslatorRoster* roster, const ConvertRequest& request) {
    CatchInterruptions();
    Progress progress(stderr, isatty(STDERR_FILENO) == 1);
    OrvWindow* window = nullptr;
    const std::shared_ptr<WatchedDisplay> display =
        WatchedDisplay::Install(ProgressWatchers(progress, window));

    window = new OrvWindow(roster);
    ReportLoadFailures(*roster);
    std::vector<OutputFormat> catalogue;
    for (int32 i = 0; i < window->FormatCount(); ++i) {
        catalogue.push_back(window->FormatAt(i));
    }
    const FormatLookup format = FindFormat(catalogue, request.format);
    if (!format.index) {
        window->Quit();  // never shown: deleted at once
        SetDisplayBackend(nullptr);
        std::fprintf(stderr, "orvane : %s\n", format.error.c_str());
        return 2;
    }

    auto* watcher = new RunReports();
    watcher->Run();
    window->SetRunObserver(BMessenger(nullptr, watcher));
    window->Show();

    FormFiller filler(*display, window->Id());
    FillForm(filler, request, *format.index);

    std::vector<std::string> unusable;
    BMessage files = RefsFromPaths(MSG_FILES, request.paths, &unusable);

    int32 count = 0;
    int32 failed = 0;
    BMessage report;
    if (filler.Missing().empty()) {
        window->PostMessage(&files);
        window->PostMessage(MSG_CONVERT);
        report = watcher->WaitFor(1);
        count = report.GetInt32("count", 0);
        failed = report.GetInt32("failed", 0);
    }
    progress.Finish();

    window->Lock();
    window->Quit();
    watcher->Lock();
    watcher->Quit();
    SetDisplayBackend(nullptr);

    if (!filler.Missing().empty()) {
        std::fprintf(stderr, "orvane : la fenêtre n’a pas de contrôle « %s »\n",
                     filler.Missing().c_str());
        return 1;
    }
    for (const std::string& path : unusable) {
        std::fprintf(stderr, "échec : %s : chemin inutilisable\n", path.c_str());
    }
    PrintIssues(report, "failure", "reason", "échec");
    PrintIssues(report, "warning", "warning_reason", "attention");
    count += int32(unusable.size());
    failed += int32(unusable.size());
    std::fprintf(stderr, "%s\n", Summary(count, failed).c_str());
    return failed > 0 ? 1 : 0;
}

}  // namespace orv::cli
