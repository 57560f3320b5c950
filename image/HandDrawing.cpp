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

using orv::image::BeginJob;
using orv::image::PixelJob;

float Gaussian(float x, float p, int d) {
    const float quotient = x / float(d);
    return 255.0f * std::exp(-std::pow(quotient, p));
}

namespace {

using LevelTable = std::array<uint8, 256>;

// The grey level of each edge strength for types 1 to 3; any other type writes the
// pixel's own intensity, which the identity table passes through unchanged. A table gives
// exactly the per-pixel values, since V takes only 256 values.
LevelTable MakeLevelTable(int32 type) {
    LevelTable table;
    for (int v = 0; v < 256; ++v) {
        switch (type) {
            case 1:
                table[v] = uint8(255 - v);
                break;
            case 2:
                table[v] = uint8(int32(Gaussian(float(v), 2.0f, 39)));
                break;
            case 3:
                table[v] = uint8(int32(Gaussian(float(v), 0.8f, 34)));
                break;
            default:
                table[v] = uint8(v);
                break;
        }
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
// lower left; the lower right takes no part).
void EdgeRow(const uint8* __restrict above, const uint8* __restrict row,
             const uint8* __restrict below, uint8* __restrict strength, uint32 width) {
    for (uint32 x = 1; x + 1 < width; ++x) {
        const int16 centre = row[x];
        const int16 upperLeft = int16(centre - (above[x - 1] + row[x - 1] + above[x]) / 3);
        const int16 upperRight = int16(centre - (above[x + 1] + row[x + 1] + above[x]) / 3);
        const int16 lowerLeft = int16(centre - (below[x - 1] + row[x - 1] + below[x]) / 3);
        const int16 a = int16(upperLeft < 0 ? -upperLeft : upperLeft);
        const int16 b = int16(upperRight < 0 ? -upperRight : upperRight);
        const int16 c = int16(lowerLeft < 0 ? -lowerLeft : lowerLeft);
        strength[x] = uint8(std::max(a, std::max(b, c)));
    }
}

}  // namespace

std::unique_ptr<OrvImage> OrvImage::HandDrawing(int32 type) const {
    PixelJob job;
    auto result = BeginJob(*this, &job);
    if (job.source == nullptr || job.width < 3 || job.height < 3) {
        return result;
    }
    const uint32 width = job.width;
    const bool edgeTypes = type >= 1 && type <= 3;
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
        for (uint32 x = 1; x + 1 < width; ++x) {
            target[x] = uint32(levels[key[x]]) * 0x010101 | (source[x] & job.alphaKept);
        }
        std::swap(above, row);
        std::swap(row, below);
    }
    return result;
}
