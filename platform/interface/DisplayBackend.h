// SPDX-License-Identifier: MIT
// The display: what mirrors windows and their views on a screen (Qt) or in memory
// (headless), and how it sends the user's input back.
//
// Controls are plain objects living on their window's thread. Whenever something a user
// could see changes (a window shown or closed, a view added or removed, a value, a text, a
// label, a marked item, the status bar), the kit tells the process's one display, on the
// thread that made the change, and hands it a complete copy of the new state: a display
// that draws on a thread of its own keeps those copies and never reads a control.
//
// Input goes the other way as messages posted to the window's queue (see InputMessage.h),
// so it waits there while the window's thread is busy, and is applied on that thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/interface/InterfaceDefs.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

namespace orv {

// Identities that stay valid across threads: numbers given at creation, never reused.
using ViewId = uint64;
using WindowId = uint64;

enum class ViewKind : uint8 {
    View,
    StringView,
    Box,
    TextControl,
    CheckBox,
    RadioButton,
    Button,
    MenuField,
    StatusBar,
    Slider,
};

// One menu as a menu field shows it.
struct MenuState {
    std::string name;
    std::vector<std::string> items;
    std::vector<bool> enabled;
    int32 marked = -1;  // index of the marked item, -1 for none
    bool radioMode = false;
    bool labelFromMarked = false;
    // What the field's pop-up button reads: the marked item's label in label-from-marked
    // mode, otherwise (or with nothing marked) the menu's name.
    std::string shownLabel;
};

// Everything a display shows of one view. Fields that do not apply to a kind keep their
// defaults.
struct ViewState {
    ViewId id = 0;
    ViewId parent = 0;  // 0 for a view at the top of its window
    int32 index = 0;    // position among its parent's children
    ViewKind kind = ViewKind::View;
    std::string name;
    BRect frame;  // in the parent's coordinates, inclusive edges
    uint32 resizingMode = 0;
    uint32 flags = 0;
    bool hidden = false;
    rgb_color viewColor = {255, 255, 255, 255};
    rgb_color highColor = {0, 0, 0, 255};
    std::string fontFamily;
    uint16 fontFace = 0;
    float fontSize = 12;

    // Controls.
    bool enabled = true;
    std::string label;
    std::string text;  // string view, text control, status bar text
    int32 value = 0;
    float divider = 0;
    // BBox.
    border_style border = B_FANCY_BORDER;
    // BMenuField.
    MenuState menu;
    bool fixedSize = false;
    // BStatusBar (label, text and value above as well).
    float maxValue = 0;
    float currentValue = 0;
    std::string trailingLabel;
    std::string trailingText;
    // BSlider.
    int32 minimum = 0;
    int32 maximum = 0;
};

// A note hung under one view of a window, for what the view itself has no room to say: a
// tooltip on the view, a link just below it, and a list window that the link opens. Every
// text comes from the program. A note without a link takes the view's note away.
struct ViewNote {
    std::string link;  // the link's text
    rgb_color linkColor = {0, 0, 0, 255};
    std::string tooltip;  // on the view and on the link
    std::string listTitle;
    std::string listSummary;  // the text above the list
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;  // one text per column

    bool IsEmpty() const { return link.empty(); }
};

struct WindowState {
    WindowId id = 0;
    std::string title;
    BRect frame;  // screen coordinates, inclusive edges
    window_look look = B_TITLED_WINDOW_LOOK;
    window_feel feel = B_NORMAL_WINDOW_FEEL;
    uint32 flags = 0;
    bool hidden = true;
};

class DisplayBackend {
public:
    virtual ~DisplayBackend() = default;

    // A window appears for the first time, with its whole view tree, parents before
    // children.
    virtual void WindowOpened(const WindowState& window, const std::vector<ViewState>& views) = 0;
    // Title, frame or hidden state changed.
    virtual void WindowChanged(const WindowState& window) = 0;
    // The window is gone for good; its views with it.
    virtual void WindowClosed(WindowId window) = 0;

    // A view joined an open window (its parent is already known to the display).
    virtual void ViewAdded(WindowId window, const ViewState& view) = 0;
    // A view and all of its children left the window.
    virtual void ViewRemoved(WindowId window, ViewId view) = 0;
    virtual void ViewChanged(WindowId window, const ViewState& view) = 0;

    // Hangs `note` under a view of an open window, in place of its earlier note. A display
    // with nowhere to show a note ignores it.
    virtual void ShowNote(WindowId /*window*/, ViewId /*view*/, const ViewNote& /*note*/) {}
};

// The process's display. Set once at start-up, before any window is shown; until then (and
// after SetDisplayBackend(nullptr)) the headless display is current.
void SetDisplayBackend(std::shared_ptr<DisplayBackend> backend);
std::shared_ptr<DisplayBackend> CurrentDisplayBackend();

// The default display, made on first use; defined by the headless display.
std::shared_ptr<DisplayBackend> MakeDefaultDisplayBackend();

}  // namespace orv
