// SPDX-License-Identifier: MIT
// The hand-drawing filter: every inner pixel becomes a grey level, white where its
// brightness matches its surroundings and darker the more it stands out.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "image/OrvImage.h"
#include "image/PixelJob.h"

using orv::image::PixelJob;
using orv::image::RunJob;

float Gaussian(float x, float p, int d) {
    const float quotient = x / float(d);
    return 255.0f * std::exp(-std::pow(quotient, p));
}

namespace {

// Each entry is the whole output word: the grey level in bytes 0, 1 and 2.
using LevelTable = std::array<uint32, 256>;

// The grey level of each edge strength for the three strengths; any other type writes the
// pixel's own intensity, which the identity table passes through unchanged. A table gives
// exactly the per-pixel values, since V takes only 256 values.
LevelTable MakeLevelTable(int32 type) {
    LevelTable table;
    for (int v = 0; v < 256; ++v) {
        uint32 level = uint32(v);
        switch (type) {
            case kDrawingLight:
                level = uint32(255 - v);
                break;
            case kDrawingBold:
                level = uint32(int32(Gaussian(float(v), 2.0f, 39))) & 0xFF;
                break;
            case kDrawingSoft:
                level = uint32(int32(Gaussian(float(v), 0.8f, 34))) & 0xFF;
                break;
            default:
                break;
        }
        table[v] = level * 0x010101;
    }
    return table;
}

// (3 × red + 4 × green + 2 × blue) / 9 of each pixel of a row.
void IntensityRow(const uint32* __restrict pixels, uint8* __restrict intensity, uint32 width) {
    for (uint32 x = 0; x < width; ++x) {
        const uint32 word = pixels[x];
        const uint16 weighted =
            uint16(3 * ((word >> 16) & 0xFF) + 4 * ((word >> 8) & 0xFF) + 2 * (word & 0xFF));
        intensity[x] = uint8(weighted / 9);
    }
}

// The edge strength of the inner pixels 1 to width − 2 of a row: the largest difference
// between the pixel and the mean of three of its four corners (upper left, upper right,
// lower left; the lower right takes no part). The means and differences all stay within
// 0–255, which lets the compiler work on many bytes at once.
void EdgeRow(const uint8* __restrict above, const uint8* __restrict row,
             const uint8* __restrict below, uint8* __restrict strength, uint32 width) {
    for (uint32 x = 1; x + 1 < width; ++x) {
        const uint8 centre = row[x];
        const auto upperLeft = uint8(uint16(above[x - 1] + row[x - 1] + above[x]) / 3);
        const auto upperRight = uint8(uint16(above[x + 1] + row[x + 1] + above[x]) / 3);
        const auto lowerLeft = uint8(uint16(below[x - 1] + row[x - 1] + below[x]) / 3);
        const uint8 high = std::max(std::max(upperLeft, upperRight), lowerLeft);
        const uint8 low = std::min(std::min(upperLeft, upperRight), lowerLeft);
        // The mean farthest from the centre is the highest or the lowest of the three.
        const auto aboveAll = uint8(high > centre ? high - centre : 0);
        const auto belowAll = uint8(centre > low ? centre - low : 0);
        strength[x] = std::max(aboveAll, belowAll);
    }
}

}  // namespace

std::unique_ptr<OrvImage> OrvImage::HandDrawing(int32 type) const {
    return RunJob(*this, [&](const PixelJob& job) {
        if (job.width < 3 || job.height < 3) {
            return;
        }
        const uint32 width = job.width;
        const bool edgeTypes = type >= kDrawingLight && type <= kDrawingSoft;
        const LevelTable levels = MakeLevelTable(type);

        // Three rows of intensities, each computed once, turn as the filter moves down.
        std::vector<uint8> rows(size_t(width) * 4);
        uint8* above = rows.data();
        uint8* row = above + width;
        uint8* below = row + width;
        uint8* strength = below + width;
        IntensityRow(job.source, above, width);
        IntensityRow(job.source + width, row, width);
        for (uint32 y = 1; y + 1 < job.height; ++y) {
            IntensityRow(job.source + size_t(y + 1) * width, below, width);
            const uint8* key = row;
            if (edgeTypes) {
                EdgeRow(above, row, below, strength, width);
                key = strength;
            }
            const uint32* source = job.source + size_t(y) * width;
            uint32* target = job.result + size_t(y) * width;
            if (job.alphaKept == 0) {
                for (uint32 x = 1; x + 1 < width; ++x) {
                    target[x] = levels[key[x]];
                }
            } else {
                for (uint32 x = 1; x + 1 < width; ++x) {
                    target[x] = levels[key[x]] | (source[x] & job.alphaKept);
                }
            }
            std::swap(above, row);
            std::swap(row, below);
        }
    });
}
