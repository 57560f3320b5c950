// SPDX-License-Identifier: MIT
// The filters that move whole pixels: mirror, flip, half turn. Each is written once, on
// pixels in place; the const forms run it on a copy.
#include <algorithm>

#include "image/OrvImage.h"
#include "image/PixelJob.h"

using orv::image::PixelJob;
using orv::image::RunInPlace;
using orv::image::RunOnCopy;

namespace {

void MirrorRows(uint32* pixels, const PixelJob& job) {
    for (uint32 y = 0; y < job.height; ++y) {
        uint32* row = pixels + size_t(y) * job.width;
        std::reverse(row, row + job.width);
    }
}

void FlipRows(uint32* pixels, const PixelJob& job) {
    for (uint32 top = 0, bottom = job.height - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(pixels + size_t(top) * job.width, pixels + size_t(top + 1) * job.width,
                         pixels + size_t(bottom) * job.width);
    }
}

// Rows follow one another without gaps, so half a turn reverses the whole buffer.
void ReverseAll(uint32* pixels, const PixelJob& job) {
    std::reverse(pixels, pixels + job.count);
}

}  // namespace

std::unique_ptr<OrvImage> OrvImage::Mirror() const {
    return RunOnCopy(*this, MirrorRows);
}

std::unique_ptr<OrvImage> OrvImage::Flip() const {
    return RunOnCopy(*this, FlipRows);
}

std::unique_ptr<OrvImage> OrvImage::Rotate180() const {
    return RunOnCopy(*this, ReverseAll);
}

bool OrvImage::MirrorInPlace() {
    return RunInPlace(*this, MirrorRows);
}

bool OrvImage::FlipInPlace() {
    return RunInPlace(*this, FlipRows);
}

bool OrvImage::Rotate180InPlace() {
    return RunInPlace(*this, ReverseAll);
}
