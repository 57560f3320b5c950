// SPDX-License-Identifier: MIT
// The pixels of one PNG stream, decoded by libpng into rows of blue, green, red and alpha
// bytes: every colour type, bit depth and interlacing. Only the chunks that make the
// pixels are looked at (IHDR, PLTE, tRNS, IDAT); the others are skipped. A stream that ends
// early or is damaged gives the rows read before the damage, and says how much is missing.
#pragma once

#include <string>

#include "platform/support/DataIO.h"
#include "platform/support/SupportDefs.h"
#include "platform/translation/PictureIO.h"

namespace orv::png {

// Rows of width × 4 bytes, `stride` apart, for the stream's whole picture.
struct PixelTarget {
    uint8* bits = nullptr;
    size_t stride = 0;
    uint32 width = 0;
    uint32 height = 0;
    bool alpha = false;  // B_RGBA32; otherwise the fourth byte is set to 255
    // When set, done to each row as soon as it is written whole, top first: never in an
    // interlaced picture, whose rows are only final after the last pass. The rows from
    // PixelOutcome::rowsDone on are left for the caller.
    const PixelWork* work = nullptr;
};

// Does the target's work, if any, to row y.
inline void WorkRow(const PixelTarget& target, uint32 y) {
    if (target.work != nullptr && *target.work) {
        (*target.work)(target.bits + size_t(y) * target.stride, target.width,
                       target.alpha ? B_RGBA32 : B_RGB32);
    }
}

struct PixelOutcome {
    uint64 decodedPixels = 0;  // of width × height
    uint32 rowsDone = 0;       // rows written whole (and worked), top first (not interlaced)
    bool interlaced = false;
    // Empty when the stream read whole; otherwise what was wrong, in French.
    std::string damage;
};

// Decodes `stream`, positioned at its signature, into `target`, whose size must be the
// stream's. Fails with a reason only when no pixel could be decoded; after that, damage is
// said in outcome->damage. `truncated` says the data stops because the file does, which is
// what the damage text then tells.
status_t DecodePixels(BDataIO& stream, const PixelTarget& target, bool truncated,
                      PixelOutcome* outcome);

// "environ 9 %" of a share of the picture, for damage texts.
std::string MissingShare(uint64 missing, uint64 total);

}  // namespace orv::png
