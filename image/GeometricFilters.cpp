// SPDX-License-Identifier: MIT
// The filters that move whole pixels: mirror, flip, half turn.
#include <cstring>

#include "image/OrvImage.h"
#include "image/PixelJob.h"

using orv::image::PixelJob;
using orv::image::RunJob;

namespace {

void ReverseWords(const uint32* __restrict source, uint32* __restrict target, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        target[i] = source[count - 1 - i];
    }
}

}  // namespace

std::unique_ptr<OrvImage> OrvImage::Mirror() const {
    return RunJob(*this, [&](const PixelJob& job) {
        for (uint32 y = 0; y < job.height; ++y) {
            const size_t row = size_t(y) * job.width;
            ReverseWords(job.source + row, job.result + row, job.width);
        }
    });
}

std::unique_ptr<OrvImage> OrvImage::Flip() const {
    return RunJob(*this, [&](const PixelJob& job) {
        const size_t rowBytes = size_t(job.width) * 4;
        for (uint32 y = 0; y < job.height; ++y) {
            std::memcpy(job.result + size_t(y) * job.width,
                        job.source + size_t(job.height - 1 - y) * job.width, rowBytes);
        }
    });
}

std::unique_ptr<OrvImage> OrvImage::Rotate180() const {
    return RunJob(*this, [&](const PixelJob& job) {
        // Rows follow one another without gaps, so half a turn reverses the whole buffer.
        ReverseWords(job.source, job.result, job.count);
    });
}
