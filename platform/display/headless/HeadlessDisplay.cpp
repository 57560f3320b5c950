// SPDX-License-Identifier: MIT
#include "platform/display/headless/HeadlessDisplay.h"

#include <algorithm>

#include "platform/interface/InputMessage.h"

namespace orv {

std::shared_ptr<DisplayBackend> MakeDefaultDisplayBackend() {
    return std::make_shared<HeadlessDisplay>();
}

HeadlessDisplay::HeadlessDisplay() = default;

HeadlessDisplay::~HeadlessDisplay() = default;

std::shared_ptr<HeadlessDisplay> HeadlessDisplay::Install() {
    auto display = std::make_shared<HeadlessDisplay>();
    SetDisplayBackend(display);
    return display;
}

// ---- mirroring

void HeadlessDisplay::WindowOpened(const WindowState& window, const std::vector<ViewState>& views) {
    {
        std::lock_guard lock(fLock);
        Record& record = fWindows[window.id];
        record = Record{window, {}, {}};
        for (const ViewState& view : views) {
            Insert(record, view);
        }
        fOrder.push_back(window.id);
    }
    Changed();
}

template <typename Change>
void HeadlessDisplay::Update(WindowId window, Change change) {
    {
        std::lock_guard lock(fLock);
        auto found = fWindows.find(window);
        if (found == fWindows.end() || !change(found->second)) {
            return;
        }
    }
    Changed();
}

void HeadlessDisplay::WindowChanged(const WindowState& window) {
    Update(window.id, [&](Record& record) {
        record.state = window;
        return true;
    });
}

void HeadlessDisplay::WindowClosed(WindowId window) {
    {
        std::lock_guard lock(fLock);
        fWindows.erase(window);
        fOrder.erase(std::remove(fOrder.begin(), fOrder.end(), window), fOrder.end());
    }
    Changed();
}

void HeadlessDisplay::ViewAdded(WindowId window, const ViewState& view) {
    Update(window, [&](Record& record) {
        Insert(record, view);
        return true;
    });
}

void HeadlessDisplay::ViewRemoved(WindowId window, ViewId view) {
    Update(window, [&](Record& record) {
        Erase(record, view);
        return true;
    });
}

// A view that already left (its hooks may still change it) is not shown.
void HeadlessDisplay::ViewChanged(WindowId window, const ViewState& view) {
    Update(window, [&](Record& record) {
        auto node = record.views.find(view.id);
        if (node == record.views.end()) {
            return false;
        }
        node->second.state = view;
        return true;
    });
}

void HeadlessDisplay::ShowNote(WindowId window, ViewId view, const ViewNote& note) {
    Update(window, [&](Record& record) {
        auto node = record.views.find(view);
        if (node == record.views.end()) {
            return false;
        }
        node->second.note = note;
        return true;
    });
}

void HeadlessDisplay::Insert(Record& record, const ViewState& view) {
    // A view shown twice would be listed twice.
    Erase(record, view.id);
    std::vector<ViewId>* siblings = &record.top;
    if (view.parent != 0) {
        auto parent = record.views.find(view.parent);
        if (parent == record.views.end()) {
            return;
        }
        siblings = &parent->second.children;
    }
    const size_t index = std::min(size_t(std::max(view.index, 0)), siblings->size());
    siblings->insert(siblings->begin() + std::ptrdiff_t(index), view.id);
    record.views[view.id] = Node{view, {}, {}};
}

void HeadlessDisplay::Erase(Record& record, ViewId view) {
    auto node = record.views.find(view);
    if (node == record.views.end()) {
        return;
    }
    const std::vector<ViewId> children = node->second.children;
    for (ViewId child : children) {
        Erase(record, child);
    }
    std::vector<ViewId>& siblings =
        node->second.state.parent != 0 && record.views.count(node->second.state.parent) != 0
            ? record.views[node->second.state.parent].children
            : record.top;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), view), siblings.end());
    record.views.erase(view);
}

void HeadlessDisplay::Changed() {
    {
        std::lock_guard lock(fLock);
        fChangeCount++;
    }
    fChanged.notify_all();
}

// ---- reading

std::vector<WindowState> HeadlessDisplay::Windows() const {
    std::lock_guard lock(fLock);
    std::vector<WindowState> windows;
    for (WindowId id : fOrder) {
        windows.push_back(fWindows.at(id).state);
    }
    return windows;
}

std::optional<WindowState> HeadlessDisplay::FindWindow(const std::string& title) const {
    std::lock_guard lock(fLock);
    for (WindowId id : fOrder) {
        if (fWindows.at(id).state.title == title) {
            return fWindows.at(id).state;
        }
    }
    return std::nullopt;
}

bool HeadlessDisplay::IsOpen(WindowId window) const {
    std::lock_guard lock(fLock);
    return fWindows.count(window) != 0;
}

void HeadlessDisplay::Collect(const Record& record, ViewId view, std::vector<ViewState>* out) {
    const Node& node = record.views.at(view);
    out->push_back(node.state);
    for (ViewId child : node.children) {
        Collect(record, child, out);
    }
}

std::vector<ViewState> HeadlessDisplay::Views(WindowId window) const {
    std::lock_guard lock(fLock);
    std::vector<ViewState> views;
    auto found = fWindows.find(window);
    if (found != fWindows.end()) {
        for (ViewId top : found->second.top) {
            Collect(found->second, top, &views);
        }
    }
    return views;
}

std::optional<ViewState> HeadlessDisplay::FindViewLocked(WindowId window,
                                                         const std::string& name) const {
    auto found = fWindows.find(window);
    if (found == fWindows.end()) {
        return std::nullopt;
    }
    std::vector<ViewState> views;
    for (ViewId top : found->second.top) {
        Collect(found->second, top, &views);
    }
    for (const ViewState& view : views) {
        if (view.name == name) {
            return view;
        }
    }
    return std::nullopt;
}

std::optional<ViewState> HeadlessDisplay::FindView(WindowId window, const std::string& name) const {
    std::lock_guard lock(fLock);
    return FindViewLocked(window, name);
}

std::optional<ViewNote> HeadlessDisplay::FindNote(WindowId window, const std::string& name) const {
    std::lock_guard lock(fLock);
    const std::optional<ViewState> view = FindViewLocked(window, name);
    if (!view) {
        return std::nullopt;
    }
    return fWindows.at(window).views.at(view->id).note;
}

std::optional<ViewState> HeadlessDisplay::View(WindowId window, ViewId view) const {
    std::lock_guard lock(fLock);
    auto found = fWindows.find(window);
    if (found == fWindows.end()) {
        return std::nullopt;
    }
    auto node = found->second.views.find(view);
    if (node == found->second.views.end()) {
        return std::nullopt;
    }
    return node->second.state;
}

bool HeadlessDisplay::WaitFor(const std::function<bool(const HeadlessDisplay&)>& condition,
                              std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        uint64 seen;
        {
            std::lock_guard lock(fLock);
            seen = fChangeCount;
        }
        if (condition(*this)) {
            return true;
        }
        std::unique_lock lock(fLock);
        if (!fChanged.wait_until(lock, deadline, [&] { return fChangeCount != seen; })) {
            return false;
        }
    }
}

// ---- acting

status_t HeadlessDisplay::Click(WindowId window, const std::string& viewName) {
    std::optional<ViewState> view = FindView(window, viewName);
    return view ? PostInput(window, MakeClick(view->id)) : B_NAME_NOT_FOUND;
}

status_t HeadlessDisplay::Type(WindowId window, const std::string& viewName,
                               const std::string& text) {
    std::optional<ViewState> view = FindView(window, viewName);
    return view ? PostInput(window, MakeSetText(view->id, text)) : B_NAME_NOT_FOUND;
}

status_t HeadlessDisplay::SetValue(WindowId window, const std::string& viewName, int32 value) {
    std::optional<ViewState> view = FindView(window, viewName);
    return view ? PostInput(window, MakeSetValue(view->id, value)) : B_NAME_NOT_FOUND;
}

status_t HeadlessDisplay::Choose(WindowId window, const std::string& menuFieldName, int32 index) {
    std::optional<ViewState> view = FindView(window, menuFieldName);
    if (!view || view->kind != ViewKind::MenuField) {
        return B_NAME_NOT_FOUND;
    }
    if (index < 0 || size_t(index) >= view->menu.items.size()) {
        return B_BAD_INDEX;
    }
    return PostInput(window, MakeChooseItem(view->id, index));
}

status_t HeadlessDisplay::Choose(WindowId window, const std::string& menuFieldName,
                                 const std::string& itemLabel) {
    std::optional<ViewState> view = FindView(window, menuFieldName);
    if (!view || view->kind != ViewKind::MenuField) {
        return B_NAME_NOT_FOUND;
    }
    const auto& items = view->menu.items;
    const auto found = std::find(items.begin(), items.end(), itemLabel);
    if (found == items.end()) {
        return B_BAD_INDEX;
    }
    return PostInput(window, MakeChooseItem(view->id, int32(found - items.begin())));
}

status_t HeadlessDisplay::Drop(WindowId window, const std::string& viewName,
                               const BMessage& message) {
    std::optional<ViewState> view;
    if (viewName.empty()) {
        std::vector<ViewState> views = Views(window);
        if (!views.empty()) {
            view = views.front();
        }
    } else {
        view = FindView(window, viewName);
    }
    return view ? PostInput(window, MakeDrop(view->id, message)) : B_NAME_NOT_FOUND;
}

status_t HeadlessDisplay::Close(WindowId window) {
    return PostClose(window);
}

}  // namespace orv
