// SPDX-License-Identifier: MIT
// BWindow: a looper with a tree of views, mirrored by the process's display.
//
// The window's thread starts with its first Show(). Every message to the window, every
// control's message and every input from the display is handled on that thread, one at a
// time; whoever else touches the window's views locks the window first.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/application/Looper.h"
#include "platform/interface/DisplayBackend.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/interface/View.h"
#include "platform/support/Rect.h"

class BWindow : public BLooper, private orv::ViewHost {
public:
    BWindow(BRect frame, const char* title, window_look look, window_feel feel, uint32 flags,
            uint32 workspace = B_CURRENT_WORKSPACE);
    // Detaches and deletes every view.
    ~BWindow() override;

    // Views at the top of the window's tree; adding one attaches it and its children.
    void AddChild(BView* child, BView* before = nullptr);
    bool RemoveChild(BView* child);
    int32 CountChildren() const { return int32(fTopViews.size()); }
    BView* ChildAt(int32 index) const;
    // The first view of that name, depth first.
    BView* FindView(const char* name) const;
    // The view with that identity, or nullptr.
    BView* FindView(orv::ViewId id) const;

    // The first Show() puts the window on the display and starts its thread.
    virtual void Show();
    virtual void Hide();
    bool IsHidden() const { return fHidden; }
    // Closes the window for good: the display drops it, its thread ends, it is deleted.
    void Quit() override;

    // Input messages from the display are applied here, on the window's thread; every
    // other message as BLooper dispatches it.
    void DispatchMessage(BMessage* message, BHandler* handler) override;

    BRect Frame() const { return fFrame; }
    BRect Bounds() const { return BRect(0, 0, fFrame.Width(), fFrame.Height()); }

    // The window's identity for the display (its looper token), what
    // the display shows of it, and its views' states, parents before children.
    orv::WindowId Id() const { return Token(); }
    orv::WindowState State() const;
    std::vector<orv::ViewState> ViewStates() const;
    // Hangs `note` under `view`, one of this window's, while the window is on the display
    // (see orv::ViewNote); an empty note takes it away.
    void ShowNote(const BView* view, const orv::ViewNote& note) const;

private:
    // orv::ViewHost
    BWindow* HostWindow() override { return this; }
    void ViewAttached(BView* view) override;
    void ViewDetaching(BView* view) override;
    void ViewChanged(const BView* view) override;
    int32 TopViewIndex(const BView* view) override;
    bool RemoveTopView(BView* view) override;

    // True while the display shows (or hides) the window: opened and not yet closed.
    bool OnDisplay() const { return fOpened && !fClosed.load(); }
    void WindowStateChanged() const;
    void ApplyInput(const BMessage& input);

    BRect fFrame;
    std::string fTitle;
    window_look fLook;
    window_feel fFeel;
    uint32 fFlags;
    bool fHidden = true;
    bool fOpened = false;
    std::atomic<bool> fClosed{false};
    std::shared_ptr<orv::DisplayBackend> fDisplay;
    std::vector<BView*> fTopViews;
};
