// SPDX-License-Identifier: MIT
// The one limit on image sizes. Every bitmap allocation and every decoder's declared size
// goes through CheckImageSize, so a picture either fits everywhere or fails cleanly with a
// reason before any memory is taken.
#pragma once

#include "platform/support/SupportDefs.h"

namespace orv {

inline constexpr uint64 kMaxImageSide = 65535;
inline constexpr uint64 kMaxImagePixels = uint64(1) << 28;
// What a decoder may allocate for anything but pixels: a chunk, a profile, an EXIF or XMP
// block, a palette, a comment. Real files stay far below; a file that declares more is
// refused rather than believed.
inline constexpr uint64 kMaxMetadataBytes = uint64(16) << 20;

// B_OK when a width × height picture may be allocated; otherwise B_BAD_VALUE (a zero or
// oversized side) or B_NO_MEMORY (too many pixels), with the reason set on this thread.
status_t CheckImageSize(uint64 width, uint64 height);

// a × b, or false when the product does not fit.
inline bool CheckedMultiply(size_t a, size_t b, size_t* product) {
    return !__builtin_mul_overflow(a, b, product);
}

inline bool CheckedAdd(size_t a, size_t b, size_t* sum) {
    return !__builtin_add_overflow(a, b, sum);
}

}  // namespace orv
