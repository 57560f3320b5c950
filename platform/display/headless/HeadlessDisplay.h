// SPDX-License-Identifier: MIT
// The display without a screen: it keeps, in memory, what a screen would show of every
// window, and acts as a user would by posting input messages to the windows. The command
// line and the tests drive the program through it; it is the process's display unless
// another is set.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/interface/DisplayBackend.h"
#include "platform/support/Message.h"

namespace orv {

class HeadlessDisplay : public DisplayBackend {
public:
    HeadlessDisplay();
    ~HeadlessDisplay() override;

    // Makes a new headless display the process's display and returns it.
    static std::shared_ptr<HeadlessDisplay> Install();

    // DisplayBackend
    void WindowOpened(const WindowState& window, const std::vector<ViewState>& views) override;
    void WindowChanged(const WindowState& window) override;
    void WindowClosed(WindowId window) override;
    void ViewAdded(WindowId window, const ViewState& view) override;
    void ViewRemoved(WindowId window, ViewId view) override;
    void ViewChanged(WindowId window, const ViewState& view) override;
    void ShowNote(WindowId window, ViewId view, const ViewNote& note) override;

    // What is shown, as copies. Windows in the order they opened; views of a window
    // parents before children, siblings in order.
    std::vector<WindowState> Windows() const;
    std::optional<WindowState> FindWindow(const std::string& title) const;
    bool IsOpen(WindowId window) const;
    std::vector<ViewState> Views(WindowId window) const;
    std::optional<ViewState> FindView(WindowId window, const std::string& name) const;
    std::optional<ViewState> View(WindowId window, ViewId view) const;
    // The note hung under the named view (empty when none was), nullopt without the view.
    std::optional<ViewNote> FindNote(WindowId window, const std::string& name) const;

    // Acting as a user: each posts one input message to the window, where it waits its
    // turn. B_NAME_NOT_FOUND when no view of that name is shown, B_BAD_INDEX for a menu
    // item that is not there, B_BAD_HANDLER when the window is gone.
    status_t Click(WindowId window, const std::string& viewName);
    status_t Type(WindowId window, const std::string& viewName, const std::string& text);
    status_t SetValue(WindowId window, const std::string& viewName, int32 value);
    status_t Choose(WindowId window, const std::string& menuFieldName, int32 index);
    status_t Choose(WindowId window, const std::string& menuFieldName,
                    const std::string& itemLabel);
    // Drops `message` on the named view (an empty name: the window's first view).
    status_t Drop(WindowId window, const std::string& viewName, const BMessage& message);
    // The close box.
    status_t Close(WindowId window);

    // Waits until `condition` holds on what is shown, re-checking after each change;
    // false when `timeout` passed first.
    bool WaitFor(const std::function<bool(const HeadlessDisplay&)>& condition,
                 std::chrono::milliseconds timeout) const;

private:
    struct Node {
        ViewState state;
        std::vector<ViewId> children;
        ViewNote note;
    };
    struct Record {
        WindowState state;
        std::vector<ViewId> top;
        std::map<ViewId, Node> views;
    };

    // Applies `change` to the window's record under the lock; a change that answers true
    // is announced to whoever waits.
    template <typename Change>
    void Update(WindowId window, Change change);
    static void Insert(Record& record, const ViewState& view);
    static void Erase(Record& record, ViewId view);
    static void Collect(const Record& record, ViewId view, std::vector<ViewState>* out);
    void Changed();
    std::optional<ViewState> FindViewLocked(WindowId window, const std::string& name) const;

    mutable std::mutex fLock;
    mutable std::condition_variable fChanged;
    uint64 fChangeCount = 0;
    std::vector<WindowId> fOrder;
    std::map<WindowId, Record> fWindows;
};

}  // namespace orv
