// SPDX-License-Identifier: MIT
// The command line's progress on standard error: a bar redrawn in place on a terminal,
// one plain line per file otherwise (a log, a pipe).
#pragma once

#include <cstdio>
#include <mutex>

#include "platform/support/SupportDefs.h"

namespace orv::cli {

class Progress {
public:
    // `interactive`: redraw one line in place rather than print a line per step.
    Progress(std::FILE* out, bool interactive);

    // `done` of `total` files processed; repeated values are shown once.
    void Update(int32 done, int32 total);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();

private:
    std::mutex fLock;
    std::FILE* fOut;
    bool fInteractive;
    int32 fShownDone = -1;
    int32 fShownTotal = -1;
    bool fLineOpen = false;
};

}  // namespace orv::cli
