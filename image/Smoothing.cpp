// SPDX-License-Identifier: MIT
// Smoothing: each byte becomes a weighted mean over its 3 × 3 window, the pixel itself
// counting 8 times and each neighbour once, the window clipped to the image.
#include <vector>

#include "image/OrvImage.h"
#include "image/PixelJob.h"

using orv::image::PixelJob;
using orv::image::RunJob;

uint32 OrvImage::SmoothPixel(uint32 x, uint32 y, const uint32* pixels, uint32 width,
                             uint32 height) {
    const int32 firstX = x == 0 ? 0 : -1;
    const int32 lastX = x == width - 1 ? 0 : 1;
    const int32 firstY = y == 0 ? 0 : -1;
    const int32 lastY = y == height - 1 ? 0 : 1;
    const uint32 centre = pixels[size_t(y) * width + x];
    uint32 sums[4];
    for (unsigned k = 0; k < 4; ++k) {
        sums[k] = 7 * ((centre >> (8 * k)) & 0xFF);
    }
    uint32 count = 7;
    for (int32 dy = firstY; dy <= lastY; ++dy) {
        for (int32 dx = firstX; dx <= lastX; ++dx) {
            const uint32 word = pixels[size_t(int64(y) + dy) * width + size_t(int64(x) + dx)];
            for (unsigned k = 0; k < 4; ++k) {
                sums[k] += (word >> (8 * k)) & 0xFF;
            }
            ++count;
        }
    }
    uint32 smoothed = 0;
    for (unsigned k = 0; k < 4; ++k) {
        smoothed |= (sums[k] / count) << (8 * k);
    }
    return smoothed;
}

namespace {

// The inner pixels of one row, whose windows are whole: a divisor of 16, so each byte is
// (7 × itself + the nine bytes of its window) / 16. The window is summed as three column
// sums, each computed once per row and shared by three neighbouring pixels; working on
// bytes lets the compiler handle many of them at once in 16-bit lanes.
void SmoothInnerRow(const uint8* __restrict above, const uint8* __restrict row,
                    const uint8* __restrict below, uint16* __restrict columns,
                    uint8* __restrict target, size_t rowBytes) {
    for (size_t i = 0; i < rowBytes; ++i) {
        columns[i] = uint16(above[i] + row[i] + below[i]);
    }
    for (size_t i = 4; i + 4 < rowBytes; ++i) {
        const uint16 sum = uint16(7 * row[i] + columns[i - 4] + columns[i] + columns[i + 4]);
        target[i] = uint8(sum >> 4);
    }
}

}  // namespace

std::unique_ptr<OrvImage> OrvImage::Smooth32() const {
    return RunJob(*this, [&](const PixelJob& job) {
        const uint32 width = job.width;
        const uint32 height = job.height;
        const auto smoothAt = [&](uint32 x, uint32 y) {
            job.result[size_t(y) * width + x] = SmoothPixel(x, y, job.source, width, height);
        };
        std::vector<uint16> columns(size_t(width) * 4);
        for (uint32 y = 0; y < height; ++y) {
            const bool edgeRow = y == 0 || y == height - 1;
            if (edgeRow || width < 3) {
                for (uint32 x = 0; x < width; ++x) {
                    smoothAt(x, y);
                }
                continue;
            }
            const size_t rowBytes = size_t(width) * 4;
            const auto* row = reinterpret_cast<const uint8*>(job.source) + y * rowBytes;
            auto* target = reinterpret_cast<uint8*>(job.result) + y * rowBytes;
            smoothAt(0, y);
            SmoothInnerRow(row - rowBytes, row, row + rowBytes, columns.data(), target, rowBytes);
            smoothAt(width - 1, y);
        }
    });
}

std::unique_ptr<OrvImage> OrvImage::Smooth() const {
    if (!IsRGB32Space(ColorSpace())) {
        return nullptr;
    }
    return Smooth32();
}
