// SPDX-License-Identifier: MIT
#include "platform/interface/Bitmap.h"

#include <algorithm>
#include <cmath>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/support/PictureMemory.h"

namespace {

// One side as every image operation computes it: the span truncated to 64 bits, its low
// 32 bits, plus one. A span no integer can hold gives no pixel rather than undefined
// behaviour.
uint32 SideFromSpan(float span) {
    if (!(span > -9.2e18f && span < 9.2e18f)) {
        return 0;
    }
    return uint32(uint64(int64(span))) + 1;
}

// The true number of pixels along one side, for the allocation: unlike SideFromSpan it
// does not wrap, so bounds (0, 0, 4294967296, 0) are refused instead of becoming 1 pixel.
// Negative for a reversed rectangle, NaN for a span that is not a number.
double TrueSide(float span) {
    return std::trunc(double(span)) + 1.0;
}

}  // namespace

BBitmap::BBitmap(BRect bounds, color_space space, bool acceptsViews, bool /*needsContiguous*/)
    : fBounds(bounds), fColorSpace(space), fAcceptsViews(acceptsViews) {
    Allocate(true);
}

BBitmap::BBitmap(BRect bounds, color_space space, Uncleared)
    : fBounds(bounds), fColorSpace(space), fAcceptsViews(false) {
    Allocate(false);
}

void BBitmap::Allocate(bool cleared) {
    const double width = TrueSide(fBounds.Width());
    const double height = TrueSide(fBounds.Height());
    if (std::isnan(width) || std::isnan(height) || width < 0 || height < 0) {
        fInitStatus = orv::Fail(B_BAD_VALUE, "dimensions d'image invalides");
        return;
    }
    if (width == 0 || height == 0) {
        // An empty rectangle (right below left): a valid bitmap without a single pixel.
        fInitStatus = B_OK;
        return;
    }
    // Clamped so the conversion is defined; anything this large fails the check anyway.
    const auto side = [](double value) { return uint64(std::min(value, 1e12)); };
    const status_t sizeStatus = orv::CheckImageSize(side(width), side(height));
    if (sizeStatus != B_OK) {
        fInitStatus = sizeStatus;
        return;
    }
    if (BitsPerPixel(fColorSpace) == 0) {
        fInitStatus = orv::Fail(B_BAD_VALUE, "espace de couleurs inconnu");
        return;
    }
    const int32 bytesPerRow = BytesPerRowFor(fColorSpace, uint32(width));
    size_t length = 0;
    if (bytesPerRow == 0 || !orv::CheckedMultiply(size_t(bytesPerRow), size_t(height), &length) ||
        length > size_t(INT32_MAX)) {
        fInitStatus = orv::Fail(B_NO_MEMORY, "image trop grande");
        return;
    }
    fBits =
        cleared ? orv::AllocatePictureMemory(length) : orv::AllocateUnclearedPictureMemory(length);
    if (fBits == nullptr) {
        fInitStatus = orv::Fail(B_NO_MEMORY, "mémoire insuffisante pour l'image");
        return;
    }
    fBytesPerRow = bytesPerRow;
    fBitsLength = int32(length);
    fInitStatus = B_OK;
}

BBitmap::BBitmap(BBitmap&& other) noexcept
    : fBounds(other.fBounds),
      fColorSpace(other.fColorSpace),
      fAcceptsViews(other.fAcceptsViews),
      fInitStatus(other.fInitStatus),
      fBits(other.fBits),
      fBitsLength(other.fBitsLength),
      fBytesPerRow(other.fBytesPerRow) {
    other.fBounds = BRect();
    other.fInitStatus = B_NO_INIT;
    other.fBits = nullptr;
    other.fBitsLength = 0;
    other.fBytesPerRow = 0;
}

BBitmap::~BBitmap() {
    orv::ReleasePictureMemory(fBits, size_t(fBitsLength));
}

uint32 BBitmap::PixelWidth() const {
    return SideFromSpan(fBounds.Width());
}

uint32 BBitmap::PixelHeight() const {
    return SideFromSpan(fBounds.Height());
}

int32 BBitmap::BytesPerRowFor(color_space space, uint32 width) {
    const uint64 bits = uint64(BitsPerPixel(space)) * width;
    // The 32-bit spaces are already whole words; the others round up to one.
    const uint64 bytes = (bits + 31) / 32 * 4;
    return bytes > uint64(INT32_MAX) ? 0 : int32(bytes);
}

void BBitmap::AddChild(BView* view) {
    if (view == nullptr || !fAcceptsViews ||
        std::find(fChildren.begin(), fChildren.end(), view) != fChildren.end()) {
        return;
    }
    fChildren.push_back(view);
}

bool BBitmap::RemoveChild(BView* view) {
    const auto found = std::find(fChildren.begin(), fChildren.end(), view);
    if (found == fChildren.end()) {
        return false;
    }
    fChildren.erase(found);
    return true;
}

int32 BBitmap::CountChildren() const {
    return int32(fChildren.size());
}

BView* BBitmap::ChildAt(int32 index) const {
    if (index < 0 || size_t(index) >= fChildren.size()) {
        return nullptr;
    }
    return fChildren[size_t(index)];
}

bool BBitmap::Lock() {
    fLock.lock();
    ++fLockCount;
    return true;
}

void BBitmap::Unlock() {
    // Only the holder may unlock: another thread's stray Unlock must not release a lock
    // it does not own, so it first proves it can take the (recursive) lock itself.
    if (!fLock.try_lock()) {
        return;
    }
    if (fLockCount > 0) {
        --fLockCount;
        fLock.unlock();
    }
    fLock.unlock();
}

bool BBitmap::IsLocked() const {
    // True when the calling thread holds the lock, not when any thread does.
    auto& lock = const_cast<std::recursive_mutex&>(fLock);
    if (!lock.try_lock()) {
        return false;
    }
    const bool held = fLockCount > 0;
    lock.unlock();
    return held;
}
