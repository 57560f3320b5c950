// SPDX-License-Identifier: MIT
// `orvane [FILE ...]` and `orvane --add-on FILE ...`: the window, one instance at a time.
#pragma once

#include <string>
#include <vector>

namespace orv::cli {

enum class DisplayKind { None, Headless, Qt };

// The display the window can use: ORVANE_DISPLAY (headless, qt or none) when set, else Qt
// when its library is there and a display server is named ($WAYLAND_DISPLAY or $DISPLAY).
DisplayKind ChooseDisplay();

// Hands the files to the running instance, or opens the window with them. Returns the
// exit status.
int RunWindowProgram(const std::vector<std::string>& paths);

// The file manager's action, through the add-on entry. Returns the exit status.
int RunAddOn(const std::vector<std::string>& paths);

}  // namespace orv::cli
