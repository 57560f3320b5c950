// SPDX-License-Identifier: MIT
// BBitmap: a picture in memory, in one colour space, with zero-filled, aligned rows.
//
// Rows in the four 32-bit spaces are exactly width × 4 bytes, so the image operations may
// index pixel (x, y) as word y × width + x. Other spaces pad their rows to a
// multiple of 4 bytes. Every allocation is checked against the one image size
// limit (orv::CheckImageSize); a bitmap that could not be made has no buffer and an
// InitCheck() error, with the reason set on the creating thread.
#pragma once

#include <mutex>
#include <vector>

#include "platform/support/GraphicsDefs.h"
#include "platform/support/Rect.h"
#include "platform/support/SupportDefs.h"

class BView;

class BBitmap {
public:
    BBitmap(BRect bounds, color_space space, bool acceptsViews = false,
            bool needsContiguous = false);
    // A bitmap whose pixels hold whatever their memory last held, perhaps another picture:
    // for a caller that writes every byte before any is read, which spares clearing them.
    struct Uncleared {};
    BBitmap(BRect bounds, color_space space, Uncleared);
    BBitmap(const BBitmap&) = delete;
    BBitmap& operator=(const BBitmap&) = delete;
    virtual ~BBitmap();

    status_t InitCheck() const { return fInitStatus; }
    bool IsValid() const { return fInitStatus == B_OK; }

    BRect Bounds() const { return fBounds; }
    color_space ColorSpace() const { return fColorSpace; }
    // The first pixel, or nullptr when the bitmap has no pixel or could not be allocated.
    void* Bits() { return fBits; }
    const void* Bits() const { return fBits; }
    int32 BitsLength() const { return fBitsLength; }
    int32 BytesPerRow() const { return fBytesPerRow; }

    // Pixel width and height from the bounds, as Width() + 1 truncated (0 for an empty rect).
    uint32 PixelWidth() const;
    uint32 PixelHeight() const;

    // Row length the bitmap uses for `width` pixels of `space`; 0 when it would overflow.
    static int32 BytesPerRowFor(color_space space, uint32 width);

    // Drawing into the bitmap: a bitmap made with acceptsViews can host views, which draw
    // into its pixels while it is locked.
    void AddChild(BView* view);
    bool RemoveChild(BView* view);
    int32 CountChildren() const;
    BView* ChildAt(int32 index) const;
    bool Lock();
    void Unlock();
    bool IsLocked() const;

protected:
    // Takes over another bitmap's bounds, colour space and buffer without copying a pixel
    // (so a decoded bitmap can become a subclass); `other` is left empty, with no buffer,
    // and keeps its child views and its lock.
    BBitmap(BBitmap&& other) noexcept;

private:
    void Allocate(bool cleared);

    BRect fBounds;
    color_space fColorSpace;
    bool fAcceptsViews;
    status_t fInitStatus = B_NO_INIT;
    void* fBits = nullptr;
    int32 fBitsLength = 0;
    int32 fBytesPerRow = 0;
    std::vector<BView*> fChildren;
    std::recursive_mutex fLock;
    int32 fLockCount = 0;
};
