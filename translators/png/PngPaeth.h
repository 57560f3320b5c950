// SPDX-License-Identifier: MIT
// Paeth's predictor, the one rule the writer's filter and the reader's unfiltering share: of
// the left byte a, the byte above b and the one above-left c, the one closest to a + b - c,
// ties going to a, then b.
#pragma once

#include <cstdlib>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/support/SupportDefs.h"

namespace orv::png {

inline uint8 PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return uint8((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

#if defined(__SSE2__)
// The same rule for eight bytes at once, each widened to a 16-bit lane.
inline __m128i PaethPredictor(__m128i a, __m128i b, __m128i c) {
    const __m128i zero = _mm_setzero_si128();
    const auto magnitude = [&](__m128i value) {
        return _mm_max_epi16(value, _mm_sub_epi16(zero, value));
    };
    const auto choose = [](__m128i mask, __m128i yes, __m128i no) {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    };
    const __m128i pa = magnitude(_mm_sub_epi16(b, c));
    const __m128i pb = magnitude(_mm_sub_epi16(a, c));
    const __m128i pc = magnitude(_mm_sub_epi16(_mm_add_epi16(a, b), _mm_add_epi16(c, c)));
    const __m128i smallest = _mm_min_epi16(pc, _mm_min_epi16(pa, pb));
    return choose(_mm_cmpeq_epi16(smallest, pa), a, choose(_mm_cmpeq_epi16(smallest, pb), b, c));
}
#endif

}  // namespace orv::png
