// SPDX-License-Identifier: MIT
// The report of a run as the window shows it under its status bar, where the bar's count
// of processed files cannot tell a failure from a success: how many files failed, were
// converted with something left undone or were skipped, and the list of them with the
// reasons.
#pragma once

#include <string>
#include <vector>

#include "platform/interface/DisplayBackend.h"
#include "platform/support/SupportDefs.h"

// One file a run could not convert, converted with something left undone, or skipped.
struct RunIssue {
    std::string path;
    std::string reason;  // French, for the user
};

namespace orv {

// What became of a run over the window's list.
struct RunOutcome {
    int32 count = 0;      // files in the list
    int32 processed = 0;  // files the run went through before it ended
    bool interrupted = false;
    std::vector<RunIssue> failures;  // in list order, the unreadable folders first
    std::vector<RunIssue> warnings;
    // Found in a folder and no picture at all: left alone, neither converted nor failed.
    std::vector<RunIssue> skipped;

    bool HasProblems() const { return !failures.empty() || !warnings.empty(); }
};

// "2 fichiers sur 5 n’ont pas pu être convertis. 3 fichiers ignorés." and so on: the
// sentences that sum a run up, empty for a run that went through every file without an
// issue.
std::string RunSummaryText(const RunOutcome& run);

// The desktop notice for a run with failures or warnings that the file manager started,
// whose window does not stay: how many files, the first reasons, and an action that opens
// the full list.
DesktopNotice RunNotice(const RunOutcome& run);

// The note for a run; an empty note when there is nothing to tell, which takes the previous
// run's note away.
ViewNote RunReportNote(const RunOutcome& run);

}  // namespace orv
