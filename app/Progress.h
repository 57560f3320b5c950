// SPDX-License-Identifier: MIT
// The command line's progress on standard error: a bar redrawn in place on a terminal, as
// wide as the terminal allows and drawn again when its width changes; one plain line per
// file otherwise (a log, a pipe), naming the file.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

#include "platform/support/SupportDefs.h"

namespace orv::cli {

class Progress {
public:
    // `terminal`: the terminal `out` writes to, whose width the bar fits; -1 when `out` is
    // no terminal.
    Progress(std::FILE* out, int terminal);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // `done` of `total` files processed, the last one being `file` (empty when none was);
    // repeated counts are shown once.
    void Update(int32 done, int32 total, const std::string& file);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();

    // Draws the bar again at the terminal's present width.
    void Redraw();
    // From now on, a change of the terminal's size (SIGWINCH) redraws the bar at once, from
    // a thread of the progress's own. One progress at a time watches.
    void WatchResizes();

private:
    void Draw();

    std::mutex fLock;
    std::FILE* fOut;
    int fTerminal;
    int32 fShownDone = -1;
    int32 fShownTotal = -1;
    size_t fShownWidth = 0;  // characters of the bar's line on the screen
    bool fLineOpen = false;
    std::thread fWatcher;
    int fStopWatching = -1;  // written to end the watcher
};

// The columns of the terminal `fd`, or 0 when it does not say.
int TerminalColumns(int fd);

// The bar's line for `done` of `total` in at most `columns` characters (UTF-8 characters
// counted, not bytes): the bar shrinks, then goes, before the count does.
std::string ProgressLine(int32 done, int32 total, int columns);

}  // namespace orv::cli
