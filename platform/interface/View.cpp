// SPDX-License-Identifier: MIT
#include "platform/interface/View.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/interface/Bitmap.h"
#include "platform/interface/BitmapDrawing.h"
#include "platform/interface/Window.h"
#include "platform/support/ErrorReason.h"

namespace {

std::atomic<orv::ViewId> sNextViewId{1};

}  // namespace

namespace orv {

status_t AddChildToBitmap(BBitmap* bitmap, BView* view) {
    if (bitmap == nullptr || view == nullptr) {
        return B_BAD_VALUE;
    }
    if (view->fParent != nullptr || view->fHost != nullptr || view->fBitmap != nullptr) {
        return Fail(B_BAD_VALUE, "la vue appartient déjà à une autre");
    }
    bitmap->AddChild(view);
    // The bitmap refuses views unless it was made to accept them.
    for (int32 i = 0; i < bitmap->CountChildren(); i++) {
        if (bitmap->ChildAt(i) == view) {
            view->fBitmap = bitmap;
            return B_OK;
        }
    }
    return Fail(B_BAD_VALUE, "l'image n'accepte pas de vue");
}

bool RemoveChildFromBitmap(BBitmap* bitmap, BView* view) {
    if (bitmap == nullptr || view == nullptr || view->fBitmap != bitmap) {
        return false;
    }
    view->fBitmap = nullptr;
    return bitmap->RemoveChild(view);
}

}  // namespace orv

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BHandler(name),
      fId(sNextViewId.fetch_add(1)),
      fFrame(frame),
      fResizingMode(resizingMode),
      fFlags(flags) {}

BView::~BView() {
    if (fParent != nullptr) {
        RemoveFromParent();
    } else if (fHost != nullptr) {
        fHost->RemoveTopView(this);
    }
    if (fBitmap != nullptr) {
        orv::RemoveChildFromBitmap(fBitmap, this);
    }
    while (!fChildren.empty()) {
        BView* child = fChildren.back();
        fChildren.pop_back();
        child->fParent = nullptr;
        delete child;
    }
}

void BView::AttachedToWindow() {}

void BView::DetachedFromWindow() {}

void BView::MessageReceived(BMessage* message) {
    BHandler::MessageReceived(message);
}

bool BView::ApplyInput(const BMessage& /*input*/) {
    return false;
}

void BView::AddChild(BView* child, BView* before) {
    if (child == nullptr || child->fParent != nullptr || child->fHost != nullptr ||
        child->fBitmap != nullptr) {
        return;
    }
    // A view cannot hold one of its own ancestors.
    for (const BView* ancestor = this; ancestor != nullptr; ancestor = ancestor->fParent) {
        if (ancestor == child) {
            return;
        }
    }
    const auto position = std::find(fChildren.begin(), fChildren.end(), before);
    fChildren.insert(before != nullptr ? position : fChildren.end(), child);
    child->fParent = this;
    if (fHost != nullptr) {
        child->AttachTo(fHost);
    }
}

bool BView::RemoveChild(BView* child) {
    if (child == nullptr || child->fParent != this) {
        return false;
    }
    child->RemoveFromParent();
    return true;
}

bool BView::RemoveSelf() {
    if (fParent != nullptr) {
        return fParent->RemoveChild(this);
    }
    if (fBitmap != nullptr) {
        return orv::RemoveChildFromBitmap(fBitmap, this);
    }
    if (fHost != nullptr) {
        return fHost->RemoveTopView(this);
    }
    return false;
}

BView* BView::ChildAt(int32 index) const {
    if (index < 0 || size_t(index) >= fChildren.size()) {
        return nullptr;
    }
    return fChildren[size_t(index)];
}

BView* BView::FindView(const char* name) const {
    if (name == nullptr) {
        return nullptr;
    }
    if (std::strcmp(Name(), name) == 0) {
        return const_cast<BView*>(this);
    }
    for (const BView* child : fChildren) {
        if (BView* found = child->FindView(name)) {
            return found;
        }
    }
    return nullptr;
}

BWindow* BView::Window() const {
    return fHost != nullptr ? fHost->HostWindow() : nullptr;
}

void BView::SetName(const char* name) {
    BHandler::SetName(name);
    StateChanged();
}

BRect BView::Bounds() const {
    return BRect(0, 0, fFrame.Width(), fFrame.Height());
}

void BView::Hide() {
    fHidden = true;
    StateChanged();
}

void BView::Show() {
    fHidden = false;
    StateChanged();
}

void BView::SetViewColor(rgb_color color) {
    fViewColor = color;
    StateChanged();
}

void BView::SetViewColor(uint8 red, uint8 green, uint8 blue, uint8 alpha) {
    SetViewColor(make_color(red, green, blue, alpha));
}

void BView::SetHighColor(rgb_color color) {
    fHighColor = color;
    StateChanged();
}

void BView::SetFont(const BFont* font, uint32 mask) {
    if (font == nullptr) {
        return;
    }
    fFont.CopyFrom(*font, mask);
    StateChanged();
}

void BView::SetFontSize(float size) {
    fFont.SetSize(size);
    StateChanged();
}

void BView::DrawBitmap(const BBitmap* bitmap, BRect destination) {
    // The bitmap drawn into is that of the top of this view's tree; the destination and
    // the clip move into its coordinates through each frame on the way up.
    BRect clip = Bounds();
    const BView* view = this;
    for (; view->fParent != nullptr; view = view->fParent) {
        const BRect frame = view->fFrame;
        destination.OffsetBy(frame.left, frame.top);
        clip.OffsetBy(frame.left, frame.top);
        const BRect parentBounds = view->fParent->Bounds();
        clip.Set(std::max(clip.left, parentBounds.left), std::max(clip.top, parentBounds.top),
                 std::min(clip.right, parentBounds.right),
                 std::min(clip.bottom, parentBounds.bottom));
    }
    if (view->fBitmap == nullptr) {
        fDrawingStatus = orv::Fail(B_NO_INIT, "la vue ne dessine dans aucune image");
        return;
    }
    if (bitmap == nullptr) {
        fDrawingStatus = orv::Fail(B_BAD_VALUE, "aucune image à dessiner");
        return;
    }
    destination.OffsetBy(view->fFrame.left, view->fFrame.top);
    clip.OffsetBy(view->fFrame.left, view->fFrame.top);
    fDrawingStatus = orv::DrawBitmapScaled(*bitmap, *view->fBitmap, destination, clip);
}

void BView::DrawBitmap(const BBitmap* bitmap, BPoint where) {
    if (bitmap == nullptr) {
        DrawBitmap(bitmap, BRect());
        return;
    }
    const BRect bounds = bitmap->Bounds();
    DrawBitmap(bitmap,
               BRect(where.x, where.y, where.x + bounds.Width(), where.y + bounds.Height()));
}

void BView::DrawBitmap(const BBitmap* bitmap) {
    DrawBitmap(bitmap, BPoint(0, 0));
}

orv::ViewState BView::State() const {
    orv::ViewState state;
    state.id = fId;
    if (fParent != nullptr) {
        state.parent = fParent->fId;
        const auto& siblings = fParent->fChildren;
        state.index = int32(std::find(siblings.begin(), siblings.end(), this) - siblings.begin());
    } else if (fHost != nullptr) {
        state.index = fHost->TopViewIndex(this);
    }
    state.name = Name();
    state.frame = fFrame;
    state.resizingMode = fResizingMode;
    state.flags = fFlags;
    state.hidden = fHidden;
    state.viewColor = fViewColor;
    state.highColor = fHighColor;
    state.fontFamily = fFont.Family();
    state.fontFace = fFont.Face();
    state.fontSize = fFont.Size();
    FillState(&state);
    return state;
}

void BView::FillState(orv::ViewState* /*state*/) const {}

void BView::StateChanged() const {
    if (fHost != nullptr) {
        fHost->ViewChanged(this);
    }
}

void BView::AttachTo(orv::ViewHost* host) {
    fHost = host;
    BWindow* window = host->HostWindow();
    window->AddHandler(this);
    SetNextHandler(fParent != nullptr ? static_cast<BHandler*>(fParent) : window);
    host->ViewAttached(this);
    AttachedToWindow();
    // By index: the hook may have added children, which are attached already.
    for (size_t i = 0; i < fChildren.size(); i++) {
        BView* child = fChildren[i];
        if (child->fHost == nullptr) {
            child->AttachTo(host);
        }
    }
}

void BView::DetachFromHost() {
    DetachedFromWindow();
    for (size_t i = 0; i < fChildren.size(); i++) {
        BView* child = fChildren[i];
        if (child->fHost != nullptr) {
            child->DetachFromHost();
        }
    }
    if (BLooper* looper = Looper()) {
        looper->RemoveHandler(this);
    }
    SetNextHandler(nullptr);
    fHost = nullptr;
}

void BView::RemoveFromParent() {
    if (fHost != nullptr) {
        fHost->ViewDetaching(this);
        DetachFromHost();
    }
    auto& siblings = fParent->fChildren;
    siblings.erase(std::find(siblings.begin(), siblings.end(), this));
    fParent = nullptr;
}
