// SPDX-License-Identifier: MIT
// A window on the headless display has no user: whoever started it (a test, a script)
// drives it with one command per line on standard input, and reads on standard error
// what a screen would have shown change.
//
//   click NAME              a button, check box or radio button
//   type NAME TEXT          a text field's new text (may be empty)
//   choose NAME INDEX|LABEL an item of a menu field
//   value NAME N            a control's value set directly
//   close                   the close box
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "app/WatchedDisplay.h"

namespace orv::cli {

// Carries out one command on the main window; the failure's reason in French, or empty.
std::string RunConsoleCommand(HeadlessDisplay& display, const std::string& line);

// The watchers that print what the screen shows change, one line each on `out`.
WatchedDisplay::Watchers TraceWatchers(std::FILE* out);

// Reads commands from `in` on a thread of its own until the input ends.
void StartConsole(std::shared_ptr<HeadlessDisplay> display, std::FILE* in);

}  // namespace orv::cli
