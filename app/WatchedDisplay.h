// SPDX-License-Identifier: MIT
// The headless display, telling the program what a user would have seen change: the
// status bar moving, windows opening and closing. The command line draws its progress
// from it; a headless window prints it for whoever drives that window.
#pragma once

#include <functional>
#include <memory>

#include "platform/display/headless/HeadlessDisplay.h"

namespace orv {

class WatchedDisplay : public HeadlessDisplay {
public:
    struct Watchers {
        // A status bar changed: its new state.
        std::function<void(const ViewState&)> statusBar;
        std::function<void(const WindowState&)> windowOpened;
        std::function<void(WindowId)> windowClosed;
    };

    explicit WatchedDisplay(Watchers watchers);

    // Makes a new watched display the process's display and returns it.
    static std::shared_ptr<WatchedDisplay> Install(Watchers watchers);

    void WindowOpened(const WindowState& window, const std::vector<ViewState>& views) override;
    void WindowClosed(WindowId window) override;
    void ViewChanged(WindowId window, const ViewState& view) override;

private:
    Watchers fWatchers;
};

}  // namespace orv
