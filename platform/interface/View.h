// SPDX-License-Identifier: MIT
// BView: a rectangle in a window (or in a bitmap) with children, drawing state, and the
// hooks the program overrides.
//
// A view belongs to its parent, which deletes it with itself. Adding a view to a parent
// that is attached to a window attaches it at once: AttachedToWindow() runs for the view,
// then for each of its children, parents before children; children that a hook adds are
// attached as they are added, and never twice.
//
// A view added to a bitmap that accepts views (orv::AddChildToBitmap) draws into the
// bitmap's pixels: DrawBitmap resamples a picture into a rectangle of it.
#pragma once

#include <string>
#include <vector>

#include "platform/application/Handler.h"
#include "platform/interface/DisplayBackend.h"
#include "platform/interface/Font.h"
#include "platform/interface/InterfaceDefs.h"
#include "platform/support/GraphicsDefs.h"
#include "platform/support/Message.h"
#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

class BBitmap;
class BView;
class BWindow;

namespace orv {

// What a view tree hangs from inside a window. The window implements it; views report
// to it every change a display must mirror, on the thread that makes the change.
class ViewHost {
public:
    virtual BWindow* HostWindow() = 0;
    // `view` was just attached (before its AttachedToWindow hook runs).
    virtual void ViewAttached(BView* view) = 0;
    // `view` and its children are about to leave the window.
    virtual void ViewDetaching(BView* view) = 0;
    virtual void ViewChanged(const BView* view) = 0;
    // Views at the top of the window's tree: their place, and their removal
    // (BView::RemoveSelf).
    virtual int32 TopViewIndex(const BView* view) = 0;
    virtual bool RemoveTopView(BView* view) = 0;

protected:
    ~ViewHost() = default;
};

// The view side of BBitmap::AddChild and RemoveChild: makes `view` a child of `bitmap`
// and lets it draw there. B_BAD_VALUE when the bitmap does not accept views or the view
// already has a parent, a window or a bitmap.
status_t AddChildToBitmap(BBitmap* bitmap, BView* view);
bool RemoveChildFromBitmap(BBitmap* bitmap, BView* view);

}  // namespace orv

// Attached to a window, a view is one of the window's handlers; what its MessageReceived
// does not handle goes on to its parent, and from the top of the tree to the window.
class BView : public BHandler {
public:
    BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags);
    BView(const BView&) = delete;
    BView& operator=(const BView&) = delete;
    // Deletes the children; a view still in a parent or a bitmap leaves it first.
    ~BView() override;

    // Hooks.
    virtual void AttachedToWindow();
    virtual void DetachedFromWindow();
    void MessageReceived(BMessage* message) override;

    // The tree.
    void AddChild(BView* child, BView* before = nullptr);
    bool RemoveChild(BView* child);
    bool RemoveSelf();
    int32 CountChildren() const { return int32(fChildren.size()); }
    BView* ChildAt(int32 index) const;
    // This view or the first of its descendants, depth first, with that name.
    BView* FindView(const char* name) const;
    BView* Parent() const { return fParent; }
    BWindow* Window() const;

    void SetName(const char* name);

    // Geometry: the frame in the parent's coordinates, the bounds in the view's own.
    BRect Frame() const { return fFrame; }
    BRect Bounds() const;

    void Hide();
    void Show();
    bool IsHidden() const { return fHidden; }

    // Drawing state.
    void SetViewColor(rgb_color color);
    void SetViewColor(uint8 red, uint8 green, uint8 blue, uint8 alpha = 255);
    void SetHighColor(rgb_color color);
    // Copies the properties of `font` named in `mask`; the caller keeps `font`.
    void SetFont(const BFont* font, uint32 mask = B_FONT_ALL);
    void SetFontSize(float size);

    // Drawing into the bitmap the view belongs to. `destination` is in the view's own
    // coordinates; the picture is resampled to fill it, and only the pixels inside both
    // the view and the bitmap are written.
    void DrawBitmap(const BBitmap* bitmap, BRect destination);
    void DrawBitmap(const BBitmap* bitmap, BPoint where);
    void DrawBitmap(const BBitmap* bitmap);

    // The outcome of the last DrawBitmap (B_OK, or why it drew
    // nothing, with the reason set on the drawing thread).
    status_t DrawingStatus() const { return fDrawingStatus; }

    // The view's identity for the display, and everything the display
    // shows of it.
    orv::ViewId Id() const { return fId; }
    orv::ViewState State() const;

protected:
    // Adds what a kind of view shows to `state` (the base fills the common part).
    virtual void FillState(orv::ViewState* state) const;
    // Tells the display that something it shows of this view changed.
    void StateChanged() const;
    // Input from the display (see InputMessage.h), on the window's thread: a control
    // changes as a user would change it and is invoked. False when the view takes no such
    // input.
    virtual bool ApplyInput(const BMessage& input);

private:
    friend class BWindow;
    friend status_t orv::AddChildToBitmap(BBitmap*, BView*);
    friend bool orv::RemoveChildFromBitmap(BBitmap*, BView*);

    // Attaches this view and, parents first, the children not yet attached.
    void AttachTo(orv::ViewHost* host);
    // Detaches this view and its children, running their hooks.
    void DetachFromHost();
    void RemoveFromParent();

    const orv::ViewId fId;
    BRect fFrame;
    uint32 fResizingMode;
    uint32 fFlags;
    bool fHidden = false;
    rgb_color fViewColor = {255, 255, 255, 255};
    rgb_color fHighColor = {0, 0, 0, 255};
    BFont fFont;

    BView* fParent = nullptr;
    std::vector<BView*> fChildren;
    orv::ViewHost* fHost = nullptr;
    BBitmap* fBitmap = nullptr;
    status_t fDrawingStatus = B_OK;
};
