// SPDX-License-Identifier: MIT
// What the TIFF suites share: files written by libtiff itself in a chosen variant, and
// files made by ImageMagick and exiftool.
#pragma once

#include <tiffio.h>
#include <unistd.h>

#include <span>
#include <string>
#include <vector>

#include "tests/translators/common/CodecTestSupport.h"
#include "tests/translators/common/ToolSupport.h"

namespace orv::test {

inline constexpr uint32 kTIFF = FourCC("TIFF");

struct Variant {
    uint16 photometric = PHOTOMETRIC_RGB;
    uint16 bits = 8;
    uint16 samples = 3;
    uint16 extra = 0;  // EXTRASAMPLE_* of a fourth (or second) sample, 0 for none
    uint16 compression = COMPRESSION_LZW;
    uint16 sampleFormat = SAMPLEFORMAT_UINT;
    uint16 planar = PLANARCONFIG_CONTIG;
    uint16 orientation = ORIENTATION_TOPLEFT;
    bool tiled = false;
    // Red, then green, then blue entries. A view rather than a vector: GCC 12 at -O3 takes a
    // vector member of designated initialisers for uninitialised.
    std::span<const uint16> colourMap = {};
};

// A TIFF file of `width` × `height` interleaved samples (8 to 64 bits, host order), written
// by libtiff itself; with planes apart (`planar`), one plane after the other.
inline std::vector<uint8> WriteTIFF(const Variant& v, uint32 width, uint32 height,
                                    const void* samples) {
    char path[] = "/tmp/orvane-tiff-test-XXXXXX";
    int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    TIFF* t = TIFFOpen(path, "w");
    EXPECT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, v.bits);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, v.samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, v.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, v.planar);
    TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, v.sampleFormat);
    TIFFSetField(t, TIFFTAG_COMPRESSION, v.compression);
    TIFFSetField(t, TIFFTAG_ORIENTATION, v.orientation);
    if (v.extra) {
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &v.extra);
    }
    if (v.photometric == PHOTOMETRIC_SEPARATED) {
        TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
    }
    if (!v.colourMap.empty()) {
        const size_t n = v.colourMap.size() / 3;
        TIFFSetField(t, TIFFTAG_COLORMAP, v.colourMap.data(), v.colourMap.data() + n,
                     v.colourMap.data() + 2 * n);
    }
    const size_t rowBytes = size_t(width) * v.samples * v.bits / 8;
    const auto* bytes = static_cast<const uint8*>(samples);
    if (v.tiled) {
        const uint32 side = 16;
        TIFFSetField(t, TIFFTAG_TILEWIDTH, side);
        TIFFSetField(t, TIFFTAG_TILELENGTH, side);
        const size_t pixelBytes = v.samples * v.bits / 8;
        std::vector<uint8> tile(size_t(TIFFTileSize(t)));
        for (uint32 ty = 0; ty < height; ty += side) {
            for (uint32 tx = 0; tx < width; tx += side) {
                std::fill(tile.begin(), tile.end(), 0);
                for (uint32 y = ty; y < std::min(height, ty + side); y++) {
                    for (uint32 x = tx; x < std::min(width, tx + side); x++) {
                        std::memcpy(&tile[((y - ty) * side + (x - tx)) * pixelBytes],
                                    bytes + y * rowBytes + x * pixelBytes, pixelBytes);
                    }
                }
                EXPECT_GE(TIFFWriteTile(t, tile.data(), tx, ty, 0, 0), 0);
            }
        }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 3);
        std::vector<uint8> row(rowBytes);
        const bool apart = v.planar == PLANARCONFIG_SEPARATE;
        const size_t sampleBytes = v.bits / 8;
        for (uint16 plane = 0; plane < (apart ? v.samples : 1); plane++) {
            for (uint32 y = 0; y < height; y++) {
                const uint8* in = bytes + y * rowBytes;
                if (!apart) {
                    std::memcpy(row.data(), in, rowBytes);
                }
                for (uint32 x = 0; apart && x < width; x++) {
                    std::memcpy(&row[x * sampleBytes],
                                in + (size_t(x) * v.samples + plane) * sampleBytes, sampleBytes);
                }
                EXPECT_EQ(TIFFWriteScanline(t, row.data(), y, plane), 1);
            }
        }
    }
    TIFFClose(t);
    std::vector<uint8> file = ReadFile(path);
    unlink(path);
    return file;
}

}  // namespace orv::test
