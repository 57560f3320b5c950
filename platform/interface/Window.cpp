// SPDX-License-Identifier: MIT
#include "platform/interface/Window.h"

#include <algorithm>

#include "platform/interface/InputMessage.h"

namespace {

BView* FindById(BView* view, orv::ViewId id) {
    if (view->Id() == id) {
        return view;
    }
    for (int32 i = 0; i < view->CountChildren(); i++) {
        if (BView* found = FindById(view->ChildAt(i), id)) {
            return found;
        }
    }
    return nullptr;
}

void CollectStates(const BView* view, std::vector<orv::ViewState>* states) {
    states->push_back(view->State());
    for (int32 i = 0; i < view->CountChildren(); i++) {
        CollectStates(view->ChildAt(i), states);
    }
}

// A user can only reach a view that is shown, with every view around it.
bool IsReachable(const BView* view) {
    for (; view != nullptr; view = view->Parent()) {
        if (view->IsHidden()) {
            return false;
        }
    }
    return true;
}

}  // namespace

BWindow::BWindow(BRect frame, const char* title, window_look look, window_feel feel, uint32 flags,
                 uint32 /*workspace*/)
    : BLooper(title),
      fFrame(frame),
      fTitle(title != nullptr ? title : ""),
      fLook(look),
      fFeel(feel),
      fFlags(flags) {}

BWindow::~BWindow() {
    if (fOpened && !fClosed.exchange(true)) {
        fDisplay->WindowClosed(Id());
    }
    while (!fTopViews.empty()) {
        BView* view = fTopViews.back();
        RemoveChild(view);
        delete view;
    }
}

void BWindow::AddChild(BView* child, BView* before) {
    if (child == nullptr || child->fParent != nullptr || child->fHost != nullptr ||
        child->fBitmap != nullptr) {
        return;
    }
    const auto position = std::find(fTopViews.begin(), fTopViews.end(), before);
    fTopViews.insert(before != nullptr ? position : fTopViews.end(), child);
    child->AttachTo(this);
}

bool BWindow::RemoveChild(BView* child) {
    const auto found = std::find(fTopViews.begin(), fTopViews.end(), child);
    if (child == nullptr || found == fTopViews.end()) {
        return false;
    }
    if (child->fHost != nullptr) {
        ViewDetaching(child);
        child->DetachFromHost();
    }
    fTopViews.erase(std::find(fTopViews.begin(), fTopViews.end(), child));
    return true;
}

BView* BWindow::ChildAt(int32 index) const {
    if (index < 0 || size_t(index) >= fTopViews.size()) {
        return nullptr;
    }
    return fTopViews[size_t(index)];
}

BView* BWindow::FindView(const char* name) const {
    for (BView* view : fTopViews) {
        if (BView* found = view->FindView(name)) {
            return found;
        }
    }
    return nullptr;
}

BView* BWindow::FindView(orv::ViewId id) const {
    for (BView* view : fTopViews) {
        if (BView* found = FindById(view, id)) {
            return found;
        }
    }
    return nullptr;
}

void BWindow::Show() {
    Lock();
    const bool first = !fOpened;
    if (first) {
        // One display for the window's whole life, so that it is closed where it opened.
        fDisplay = orv::CurrentDisplayBackend();
        fOpened = true;
        fHidden = false;
        fDisplay->WindowOpened(State(), ViewStates());
    } else if (fHidden) {
        fHidden = false;
        WindowStateChanged();
    }
    Unlock();
    if (first) {
        Run();
    }
}

void BWindow::Hide() {
    Lock();
    if (!fHidden) {
        fHidden = true;
        WindowStateChanged();
    }
    Unlock();
}

void BWindow::Quit() {
    if (fOpened && !fClosed.exchange(true)) {
        fDisplay->WindowClosed(Id());
    }
    BLooper::Quit();
}

void BWindow::DispatchMessage(BMessage* message, BHandler* handler) {
    if (message != nullptr && message->what == orv::kInputMessage && handler == this) {
        ApplyInput(*message);
        return;
    }
    BLooper::DispatchMessage(message, handler);
}

void BWindow::ApplyInput(const BMessage& input) {
    BView* view = FindView(orv::ViewId(input.GetInt64("view", 0)));
    if (view == nullptr || !IsReachable(view)) {
        return;
    }
    if (orv::ActionOf(input) == orv::InputAction::Drop) {
        BMessage dropped;
        if (input.FindMessage("message", &dropped) == B_OK) {
            DispatchMessage(&dropped, view);
        }
        return;
    }
    view->ApplyInput(input);
}

orv::WindowState BWindow::State() const {
    orv::WindowState state;
    state.id = Id();
    state.title = fTitle;
    state.frame = fFrame;
    state.look = fLook;
    state.feel = fFeel;
    state.flags = fFlags;
    state.hidden = fHidden;
    return state;
}

std::vector<orv::ViewState> BWindow::ViewStates() const {
    std::vector<orv::ViewState> states;
    for (const BView* view : fTopViews) {
        CollectStates(view, &states);
    }
    return states;
}

void BWindow::WindowStateChanged() const {
    if (OnDisplay()) {
        fDisplay->WindowChanged(State());
    }
}

void BWindow::ViewAttached(BView* view) {
    if (OnDisplay()) {
        fDisplay->ViewAdded(Id(), view->State());
    }
}

void BWindow::ViewDetaching(BView* view) {
    if (OnDisplay()) {
        fDisplay->ViewRemoved(Id(), view->Id());
    }
}

void BWindow::ViewChanged(const BView* view) {
    if (OnDisplay()) {
        fDisplay->ViewChanged(Id(), view->State());
    }
}

void BWindow::ShowNote(const BView* view, const orv::ViewNote& note) const {
    if (view != nullptr && view->Window() == this && OnDisplay()) {
        fDisplay->ShowNote(Id(), view->Id(), note);
    }
}

void BWindow::Notify(const orv::DesktopNotice& notice) const {
    if (OnDisplay()) {
        fDisplay->Notify(Id(), notice);
    } else {
        [[maybe_unused]] const status_t status =
            orv::PostNoticeOutcome(Id(), orv::NoticeOutcome::Unavailable);
    }
}

int32 BWindow::TopViewIndex(const BView* view) {
    return int32(std::find(fTopViews.begin(), fTopViews.end(), view) - fTopViews.begin());
}

bool BWindow::RemoveTopView(BView* view) {
    return RemoveChild(view);
}
