// SPDX-License-Identifier: MIT
// The filters that change each pixel by itself: negative, grey, channel swaps.
#include <algorithm>

#include "image/OrvImage.h"
#include "image/PixelJob.h"

using orv::image::kAlphaMask;
using orv::image::KeepsAlpha;
using orv::image::PixelJob;
using orv::image::RunJob;

std::unique_ptr<OrvImage> OrvImage::InvertColorsByMask(uint32 mask) const {
    return RunJob(*this, [&](const PixelJob& job) {
        const uint32* __restrict source = job.source;
        uint32* __restrict target = job.result;
        for (size_t i = 0; i < job.count; ++i) {
            target[i] = source[i] ^ mask;
        }
    });
}

std::unique_ptr<OrvImage> OrvImage::InvertColors() const {
    return InvertColorsByMask(KeepsAlpha(ColorSpace()) ? ~kAlphaMask : 0xFFFFFFFF);
}

std::unique_ptr<OrvImage> OrvImage::GreyScale() const {
    return RunJob(*this, [&](const PixelJob& job) {
        const uint32* __restrict source = job.source;
        uint32* __restrict target = job.result;
        const uint32 alphaKept = job.alphaKept;
        for (size_t i = 0; i < job.count; ++i) {
            const uint32 word = source[i];
            const auto sum = uint16((word & 0xFF) + ((word >> 8) & 0xFF) + ((word >> 16) & 0xFF));
            // sum / 3 as a 16-bit high multiply, exact for every sum up to 765, which the
            // compiler can do eight lanes at a time.
            const uint32 grey = uint32(sum * uint32(21846)) >> 16;
            target[i] = grey | grey << 8 | grey << 16 | (word & alphaKept);
        }
    });
}

namespace {

// Each swap moves two byte fields in opposite directions by the same distance.
template <uint32 kLowMask, unsigned kShift>
void SwapBytes(const uint32* __restrict source, uint32* __restrict target, size_t count,
               uint32 alphaKept) {
    constexpr uint32 kHighMask = kLowMask << kShift;
    constexpr uint32 kKeptMask = 0x00FFFFFF & ~(kLowMask | kHighMask);
    for (size_t i = 0; i < count; ++i) {
        const uint32 word = source[i];
        target[i] = ((word & kHighMask) >> kShift) | ((word & kLowMask) << kShift) |
                    (word & (kKeptMask | alphaKept));
    }
}

}  // namespace

std::unique_ptr<OrvImage> OrvImage::Exchange(int32 mask) const {
    auto result = std::make_unique<OrvImage>(Bounds(), ColorSpace());
    const auto* source = static_cast<const uint32*>(Bits());
    auto* target = static_cast<uint32*>(result->Bits());
    if (source == nullptr || target == nullptr) {
        return result;
    }
    // The whole buffer as words, whatever the colour space: never past either buffer.
    const size_t count = size_t(std::min(BitsLength(), result->BitsLength()) / 4);
    const uint32 alphaKept = KeepsAlpha(ColorSpace()) ? kAlphaMask : 0;
    switch (mask) {
        case kSwapGreenBlue:
            SwapBytes<0xFF, 8>(source, target, count, alphaKept);
            break;
        case kSwapBlueRed:
            SwapBytes<0xFF, 16>(source, target, count, alphaKept);
            break;
        case kSwapRedGreen:
            SwapBytes<0xFF00, 8>(source, target, count, alphaKept);
            break;
        default:
            break;
    }
    return result;
}
