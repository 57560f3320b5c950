// SPDX-License-Identifier: MIT
// Memory for picture-sized buffers: bitmaps, and the codecs' whole-picture scratch.
#pragma once

#include <cstddef>

#include "platform/support/SupportDefs.h"

namespace orv {

// `length` zeroed bytes, aligned for vector loads, or nullptr when they cannot be had.
void* AllocatePictureMemory(size_t length);

// The same, but holding whatever they held before, perhaps an earlier picture's pixels: for
// a caller that writes every byte before any is read, which spares clearing them.
void* AllocateUnclearedPictureMemory(size_t length);

// Gives back what either gave for the same length; nullptr is ignored. Large buffers lent
// uncleared are kept a while for the next such callers, who then need not fault in fresh
// pages.
void ReleasePictureMemory(void* bits, size_t length);

// Unmaps the buffers kept for pictures to come: for when none is coming soon.
void ReleaseKeptPictureMemory();

// Owns one buffer, zeroed unless asked for uncleared.
class PictureMemory {
public:
    explicit PictureMemory(size_t length)
        : fBits(static_cast<uint8*>(AllocatePictureMemory(length))), fLength(length) {}
    // For a caller that writes every byte before it reads it (see
    // AllocateUnclearedPictureMemory).
    struct Uncleared {};
    PictureMemory(size_t length, Uncleared)
        : fBits(static_cast<uint8*>(AllocateUnclearedPictureMemory(length))), fLength(length) {}
    ~PictureMemory() { ReleasePictureMemory(fBits, fLength); }
    PictureMemory(const PictureMemory&) = delete;
    PictureMemory& operator=(const PictureMemory&) = delete;

    // nullptr when the allocation failed.
    uint8* Bits() const { return fBits; }

private:
    uint8* fBits;
    size_t fLength;
};

}  // namespace orv
