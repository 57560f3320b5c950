// SPDX-License-Identifier: MIT
// The Qt display lives in a library of its own (liborvane-display-qt), installed beside the
// platform library and loaded only when a window is to open: a run without a window, such
// as the command line's, then never loads Qt's widgets and the thirty-odd libraries they
// bring, a third of a one-file conversion's processor time.
#pragma once

#include <functional>

#include "platform/support/SupportDefs.h"

class BApplication;

namespace orv {

// Loads the Qt display library, once per process. B_OK when it is there; otherwise the
// error, with dlopen's reason (a build without Qt has no such library).
status_t LoadQtDisplay();

// Whether a screen answers the Qt display here (see QtDisplayAvailable). False when the
// library cannot be loaded.
bool QtDisplayAnswers();

// RunWithQtDisplay of the loaded library: makes the QApplication and the display, calls
// `start` for the application object, runs it to its end and returns the exit status.
// Call only after LoadQtDisplay() succeeded.
int RunInQtDisplay(const std::function<BApplication*()>& start);

// The entry points the library exports under these names, with C linkage so that
// dlsym finds them unmangled.
using QtDisplayAvailableEntry = bool (*)();
using RunWithQtDisplayEntry = int (*)(const std::function<BApplication*()>* start);
inline constexpr char kQtDisplayAvailableSymbol[] = "orv_qt_display_available";
inline constexpr char kRunWithQtDisplaySymbol[] = "orv_run_with_qt_display";

}  // namespace orv
