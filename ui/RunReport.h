// SPDX-License-Identifier: MIT
// The report of a run as the window shows it under its status bar, where the bar's count
// of processed files cannot tell a failure from a success: how many files failed or were
// converted with something left undone, and the list of them with the reasons.
#pragma once

#include <string>
#include <vector>

#include "platform/interface/DisplayBackend.h"
#include "platform/support/SupportDefs.h"

// One file a run could not convert, or converted with something left undone.
struct RunIssue {
    std::string path;
    std::string reason;  // French, for the user
};

namespace orv {

// The note for a run over `count` files; an empty note when nothing failed and nothing was
// left undone, which takes the previous run's note away.
ViewNote RunReportNote(int32 count, const std::vector<RunIssue>& failures,
                       const std::vector<RunIssue>& warnings);

}  // namespace orv
