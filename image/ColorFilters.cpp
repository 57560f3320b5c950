// SPDX-License-Identifier: MIT
// The filters that change each pixel by itself: negative, grey, channel swaps. Each is
// written once, on pixels in place; the const forms run it on a copy.
#include <algorithm>
#include <cstring>

#include "image/OrvImage.h"
#include "image/PixelJob.h"

using orv::image::AlphaKept;
using orv::image::kAlphaMask;
using orv::image::KeepsAlpha;
using orv::image::PixelJob;
using orv::image::RunInPlace;
using orv::image::RunOnCopy;

namespace {

void InvertWords(uint32* pixels, size_t count, uint32 mask) {
    for (size_t i = 0; i < count; ++i) {
        pixels[i] ^= mask;
    }
}

uint32 NegativeMask(color_space space) {
    return KeepsAlpha(space) ? ~kAlphaMask : 0xFFFFFFFF;
}

void GreyWords(uint32* pixels, size_t count, uint32 alphaKept) {
    for (size_t i = 0; i < count; ++i) {
        const uint32 word = pixels[i];
        const auto sum = uint16((word & 0xFF) + ((word >> 8) & 0xFF) + ((word >> 16) & 0xFF));
        // sum / 3 as a 16-bit high multiply, exact for every sum up to 765, which the
        // compiler can do eight lanes at a time.
        const uint32 grey = uint32(sum * uint32(21846)) >> 16;
        pixels[i] = grey | grey << 8 | grey << 16 | (word & alphaKept);
    }
}

// Each swap moves two byte fields in opposite directions by the same distance.
template <uint32 kLowMask, unsigned kShift>
void SwapBytes(uint32* pixels, size_t count, uint32 alphaKept) {
    constexpr uint32 kHighMask = kLowMask << kShift;
    constexpr uint32 kKeptMask = 0x00FFFFFF & ~(kLowMask | kHighMask);
    for (size_t i = 0; i < count; ++i) {
        const uint32 word = pixels[i];
        pixels[i] = ((word & kHighMask) >> kShift) | ((word & kLowMask) << kShift) |
                    (word & (kKeptMask | alphaKept));
    }
}

// Swaps the two channels `mask` names over `count` words; false for any other mask.
bool SwapChannels(uint32* pixels, size_t count, int32 mask, uint32 alphaKept) {
    switch (mask) {
        case kSwapGreenBlue:
            SwapBytes<0xFF, 8>(pixels, count, alphaKept);
            return true;
        case kSwapBlueRed:
            SwapBytes<0xFF, 16>(pixels, count, alphaKept);
            return true;
        case kSwapRedGreen:
            SwapBytes<0xFF00, 8>(pixels, count, alphaKept);
            return true;
        default:
            return false;
    }
}

bool IsChannelSwap(int32 mask) {
    return mask == kSwapGreenBlue || mask == kSwapBlueRed || mask == kSwapRedGreen;
}

}  // namespace

std::unique_ptr<OrvImage> OrvImage::InvertColorsByMask(uint32 mask) const {
    return RunOnCopy(
        *this, [&](uint32* pixels, const PixelJob& job) { InvertWords(pixels, job.count, mask); });
}

std::unique_ptr<OrvImage> OrvImage::InvertColors() const {
    return InvertColorsByMask(NegativeMask(ColorSpace()));
}

bool OrvImage::InvertColorsInPlace() {
    const uint32 mask = NegativeMask(ColorSpace());
    return RunInPlace(
        *this, [&](uint32* pixels, const PixelJob& job) { InvertWords(pixels, job.count, mask); });
}

std::unique_ptr<OrvImage> OrvImage::GreyScale() const {
    return RunOnCopy(*this, [](uint32* pixels, const PixelJob& job) {
        GreyWords(pixels, job.count, job.alphaKept);
    });
}

bool OrvImage::GreyScaleInPlace() {
    return RunInPlace(*this, [](uint32* pixels, const PixelJob& job) {
        GreyWords(pixels, job.count, job.alphaKept);
    });
}

std::unique_ptr<OrvImage> OrvImage::Exchange(int32 mask) const {
    auto result = std::make_unique<OrvImage>(Bounds(), ColorSpace());
    const auto* source = static_cast<const uint32*>(Bits());
    auto* target = static_cast<uint32*>(result->Bits());
    if (source == nullptr || target == nullptr || !IsChannelSwap(mask)) {
        return result;
    }
    // The whole buffer as words, whatever the colour space: never past either buffer.
    const size_t count = size_t(std::min(BitsLength(), result->BitsLength()) / 4);
    std::memcpy(target, source, count * 4);
    SwapChannels(target, count, mask, AlphaKept(ColorSpace()));
    return result;
}

namespace orv::image {

namespace {

uint32* Words(uint8* row) {
    return reinterpret_cast<uint32*>(row);
}

}  // namespace

PixelWork NegativeWork() {
    return [](uint8* row, uint32 count, color_space space) {
        InvertWords(Words(row), count, NegativeMask(space));
    };
}

PixelWork GreyWork() {
    return [](uint8* row, uint32 count, color_space space) {
        GreyWords(Words(row), count, AlphaKept(space));
    };
}

PixelWork ChannelSwapWork(int32 mask) {
    return [mask](uint8* row, uint32 count, color_space space) {
        SwapChannels(Words(row), count, mask, AlphaKept(space));
    };
}

}  // namespace orv::image

bool OrvImage::ExchangeInPlace(int32 mask) {
    auto* pixels = static_cast<uint32*>(Bits());
    return pixels != nullptr &&
           SwapChannels(pixels, size_t(BitsLength() / 4), mask, AlphaKept(ColorSpace()));
}
