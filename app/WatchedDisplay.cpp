// SPDX-License-Identifier: MIT
#include "app/WatchedDisplay.h"

namespace orv {

WatchedDisplay::WatchedDisplay(Watchers watchers) : fWatchers(std::move(watchers)) {}

std::shared_ptr<WatchedDisplay> WatchedDisplay::Install(Watchers watchers) {
    auto display = std::make_shared<WatchedDisplay>(std::move(watchers));
    SetDisplayBackend(display);
    return display;
}

void WatchedDisplay::WindowOpened(const WindowState& window, const std::vector<ViewState>& views) {
    HeadlessDisplay::WindowOpened(window, views);
    if (fWatchers.windowOpened) {
        fWatchers.windowOpened(window);
    }
}

void WatchedDisplay::WindowClosed(WindowId window) {
    HeadlessDisplay::WindowClosed(window);
    if (fWatchers.windowClosed) {
        fWatchers.windowClosed(window);
    }
}

void WatchedDisplay::ViewChanged(WindowId window, const ViewState& view) {
    HeadlessDisplay::ViewChanged(window, view);
    if (view.kind == ViewKind::StatusBar && fWatchers.statusBar) {
        fWatchers.statusBar(view);
    }
}

}  // namespace orv
