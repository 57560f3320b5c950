// SPDX-License-Identifier: MIT
// A std::unique_ptr deleter that hands the pointer to a C library's own release function,
// so that a library's objects are owned without a deleter struct for each of them:
//   using DecoderPtr = std::unique_ptr<avifDecoder, FreeWith<avifDecoderDestroy>>;
#pragma once

namespace orv {

template <auto Release>
struct FreeWith {
    template <typename T>
    void operator()(T* pointer) const {
        Release(pointer);
    }
};

}  // namespace orv
