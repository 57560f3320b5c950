// SPDX-License-Identifier: MIT
// What every whole-image operation does before its pixel loop: make the result and decide
// whether there are pixels to work on, and where.
#pragma once

#include <bit>
#include <cstring>
#include <memory>

#include "image/OrvImage.h"
#include "platform/support/ImageLimits.h"

namespace orv::image {

// The operations read words as 0xAARRGGBB with blue first in memory.
static_assert(std::endian::native == std::endian::little);

inline constexpr uint32 kAlphaMask = 0xFF000000;

// The spaces where byte 3 is the pixel's opacity and the colour filters must keep it.
constexpr bool KeepsAlpha(color_space space) {
    return space == B_RGBA32 || space == B_RGBA32_BIG;
}

// kAlphaMask where the colour filters keep byte 3, else 0.
constexpr uint32 AlphaKept(color_space space) {
    return KeepsAlpha(space) ? kAlphaMask : 0;
}

struct PixelJob {
    const uint32* source = nullptr;  // nullptr: nothing to do, the result stays unwritten
    uint32* result = nullptr;
    uint32 width = 0;
    uint32 height = 0;
    size_t count = 0;      // width × height
    uint32 alphaKept = 0;  // kAlphaMask where the colour filters keep byte 3, else 0
};

// The result, with the source's bounds and colour space, and in `job` the two buffers of
// width × height words when the source has such pixels and the result could be made.
std::unique_ptr<OrvImage> BeginJob(const OrvImage& source, PixelJob* job);

// The result of an operation: made by BeginJob, then written by `work(job)` when there are
// pixels to work on.
template <typename Work>
std::unique_ptr<OrvImage> RunJob(const OrvImage& source, Work work) {
    PixelJob job;
    auto result = BeginJob(source, &job);
    if (job.source != nullptr) {
        work(job);
    }
    return result;
}

// `image`'s own pixels as a job whose source and result are both them: false, with `job`
// untouched, when the image has no width × height words to work on.
bool BeginInPlace(OrvImage& image, PixelJob* job);

// The colour filters as work on each pixel of a row, the same as their in-place forms.
PixelWork NegativeWork();
PixelWork GreyWork();
PixelWork ChannelSwapWork(int32 mask);

// An operation written on pixels in place, `work(pixels, job)`, giving a new image: the
// source's pixels are copied into the result and worked on there.
template <typename Work>
std::unique_ptr<OrvImage> RunOnCopy(const OrvImage& source, Work work) {
    return RunJob(source, [&](const PixelJob& job) {
        std::memcpy(job.result, job.source, job.count * sizeof(uint32));
        work(job.result, job);
    });
}

// The same operation on `image` itself, for a caller that no longer needs the pixels as
// they were: no second picture in memory. False, changing nothing, where RunOnCopy would
// give an image left unwritten.
template <typename Work>
bool RunInPlace(OrvImage& image, Work work) {
    PixelJob job;
    if (!BeginInPlace(image, &job)) {
        return false;
    }
    work(job.result, job);
    return true;
}

}  // namespace orv::image
