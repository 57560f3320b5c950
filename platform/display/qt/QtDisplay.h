// SPDX-License-Identifier: MIT
// The display on a screen, with Qt 6 Widgets: every window and view of the interface kit
// as a real window, the user's clicks, typing, menu choices, drops and close box sent back
// as input messages to the window's queue.
//
// The kit tells the display of every change on the thread that made it; the display queues
// a copy of the new state to the GUI thread (the main thread, where Qt's event loop runs
// together with the application looper) and never reads a control. So the window keeps
// painting and its status bar keeps moving while the window's own thread is busy.
//
// This header names no Qt type but QWidget, so that the program can start the display
// without building against Qt itself.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/interface/DisplayBackend.h"

class BApplication;
class QWidget;

namespace orv {

class QtDisplay : public DisplayBackend {
public:
    // Needs the QApplication to exist; made on the GUI thread.
    QtDisplay();
    ~QtDisplay() override;

    // Makes a new Qt display the process's display and returns it.
    static std::shared_ptr<QtDisplay> Install();

    // DisplayBackend, from any thread.
    void WindowOpened(const WindowState& window, const std::vector<ViewState>& views) override;
    void WindowChanged(const WindowState& window) override;
    void WindowClosed(WindowId window) override;
    void ViewAdded(WindowId window, const ViewState& view) override;
    void ViewRemoved(WindowId window, ViewId view) override;
    void ViewChanged(WindowId window, const ViewState& view) override;

    // From any thread: the link under the view, its tooltip, and the list window it opens.
    void ShowNote(WindowId window, ViewId view, const ViewNote& note) override;

    // GUI thread only, for the program's own start and for tests: the widget that shows
    // a window, nullptr when none does (yet).
    QWidget* WindowWidget(WindowId window) const;
    // The list window of a view's note, nullptr before the note's first link.
    QWidget* NoteListWidget(WindowId window, ViewId view) const;

    // GUI thread: closes every window the display shows and ignores what comes after.
    void Shutdown();

    struct Impl;

private:
    std::shared_ptr<Impl> fImpl;
};

// Whether a Qt display can open here: an offscreen or other platform named in
// QT_QPA_PLATFORM, or a Wayland or X server whose socket is there.
bool QtDisplayAvailable();

// Runs an application with the Qt display on the main thread: makes the QApplication,
// installs the display, calls `start` (which makes the application object, whose windows
// then appear on screen), runs Qt's event loop with the application looper until the
// application quits, then deletes the application and closes the display. Returns the
// exit status.
int RunWithQtDisplay(const std::function<BApplication*(QtDisplay& display)>& start);

}  // namespace orv
