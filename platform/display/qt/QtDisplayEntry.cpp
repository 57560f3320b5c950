// SPDX-License-Identifier: MIT
// What the program finds in this library once it has loaded it (QtDisplayLoader.h).
#include <type_traits>

#include "platform/display/loader/QtDisplayLoader.h"
#include "platform/display/qt/QtDisplay.h"

extern "C" {

bool orv_qt_display_available() {
    return orv::QtDisplayAvailable();
}

int orv_run_with_qt_display(const std::function<BApplication*()>* start) {
    return orv::RunWithQtDisplay([start](orv::QtDisplay&) { return (*start)(); });
}

}  // extern "C"

// The loader casts what dlsym finds to these types: the definitions above must match them.
static_assert(std::is_same_v<decltype(&orv_qt_display_available), orv::QtDisplayAvailableEntry>);
static_assert(std::is_same_v<decltype(&orv_run_with_qt_display), orv::RunWithQtDisplayEntry>);
