// SPDX-License-Identifier: MIT
// Zeroed memory for picture-sized buffers: bitmaps, and the codecs' whole-picture scratch.
#pragma once

#include <cstddef>

#include "platform/support/SupportDefs.h"

namespace orv {

// `length` zeroed bytes, aligned for vector loads, or nullptr when they cannot be had.
void* AllocatePictureMemory(size_t length);

// Gives back what AllocatePictureMemory gave for the same length; nullptr is ignored.
void ReleasePictureMemory(void* bits, size_t length);

// Owns one such buffer.
class PictureMemory {
public:
    explicit PictureMemory(size_t length)
        : fBits(static_cast<uint8*>(AllocatePictureMemory(length))), fLength(length) {}
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
