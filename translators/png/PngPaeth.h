// SPDX-License-Identifier: MIT
// Paeth's predictor, the one rule the writer's filter and the reader's unfiltering share: of
// the left byte a, the byte above b and the one above-left c, the one closest to a + b - c,
// ties going to a, then b.
#pragma once

#include <cstdlib>

#include "platform/support/SupportDefs.h"

namespace orv::png {

inline uint8 PaethPredictor(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    return uint8((pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c));
}

}  // namespace orv::png
