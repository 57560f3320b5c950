// SPDX-License-Identifier: MIT
// Resampling a 32-bit picture to another size, the work behind BView::DrawBitmap.
//
// Our own separable filter, chosen by measurement: shrinking, Lanczos-3 widened by the
// ratio, after averaging whole boxes of source pixels when the ratio is 4.4 or more (as
// many as leave the filter a ratio of at least 2.2); enlarging, Lanczos-2. Alpha is
// resampled premultiplied, in single precision the compiler vectorises. A one-pixel
// checkerboard halved is a flat grey, clear pixels lend no colour, flat colours stay exact.
//
// bench/scaling measured it against the others (RMSE 0 to 1 against Lanczos-3 computed in
// double precision, L, and against the exact area average, A, edge pixels aside; processor
// time on a shared 2-core AMD EPYC, a 5640x3172 photo to 800x449 and a 1280x1024 one to
// 2560x2048; libvips and ImageMagick as programs, one thread, load and save taken out):
//
//                           zone 900->225  zone 900->317  photo ->800    photo x2  ms: down  up
//   this one                L.0016 A.0482  L.0015 A.0458  L.0027 A.0149  L.0016      11   13
//   Qt smooth (the last)    L.0482 A.0022  L.0458 A.0023  L.0151 A.0023  L.0040      11   13
//   pixman Lanczos-3/box    L.0411 A.0098  L.0484 A.0118  L.0154 A.0015  L.0014     192  635
//   pixman Lanczos-3/point  L.2680 A.2738  L.2850 A.2774  L.0714 A.0693  L.0013      43  625
//   swscale lanczos         L.0016 A.0482  L.0015 A.0458  L.0011 A.0150  L.0011     105   92
//   swscale area            L.0482 A.0011  L.0458 A.0011  L.0150 A.0011  L.0029      63   44
//   zimg Lanczos-3          L.0016 A.0482  L.0015 A.0458  L.0011 A.0150  L.0011      81   23
//   libvips 8.14 resize     L.0238 A.0419  L.0043 A.0458  L.0030 A.0149  L.0058     118  202
//   ImageMagick 6 -resize   L.0016 A.0482  L.0015 A.0458  L.0011 A.0150  L.0023     397  180
//
// swscale scales straight alpha, so that clear pixels lend their colour; Qt's area average
// shows moiré. The box before the filter trades moiré for time; a zone plate 900 -> N, L,
// here and with libvips (whose box leaves the filter a ratio of 2):
//   N        450    300    225    200    150    128    100     64
//   here    .0012  .0015  .0016  .0191  .0107  .0131  .0109  .0067
//   libvips .0043  .0035  .0238  .0192  .0172  .0132  .0109  .0085
// Leaving the filter 3 rather than 2.2 would take the photo to 800 from 10 ms to 15 ms.
// Between ratios 2 and 4.4 nothing is boxed and Lanczos-3 costs 2 to 4 times Qt's area
// average (5640 wide to 2820: 41 ms against 20; to 1410: 45 against 11), still about a
// third of libvips' time; at larger ratios and below 2 it costs the same or less (to 5000:
// 68 against 95; to 400: 6 against 9). With alpha, to 800: 25 ms against 135.
#pragma once

#include "platform/support/SupportDefs.h"

namespace orv {

// The pixels of a picture in one of the four 32-bit colour spaces.
struct ResampleSource {
    const uint8* bits = nullptr;
    size_t bytesPerRow = 0;
    int64 width = 0;
    int64 height = 0;
    bool byteSwapped = false;  // words stored alpha first (the _BIG spaces)
    bool alpha = false;        // the fourth byte is alpha; otherwise every pixel is opaque
};

// The part wanted of the resampled picture: columns left to right and rows top to bottom
// (inclusive) of a width x height result.
struct ResampleArea {
    int64 width = 0;
    int64 height = 0;
    int64 left = 0;
    int64 top = 0;
    int64 right = -1;
    int64 bottom = -1;
};

// Where the area's pixels go: its top left pixel at `bits`, its rows `bytesPerRow` apart.
struct ResampleTarget {
    uint8* bits = nullptr;
    size_t bytesPerRow = 0;
    bool byteSwapped = false;  // words stored alpha first (the _BIG spaces)
    bool opaque = false;       // the fourth byte is written 255, the colours left unblended
};

// Resamples `source` to the size of `area` and writes the area's pixels, straight (not
// premultiplied). A source without alpha gives opaque pixels. The memory taken grows with
// the area's width, not with its height. B_OK, or B_NO_MEMORY with the reason set.
status_t Resample(const ResampleSource& source, const ResampleArea& area,
                  const ResampleTarget& target);

}  // namespace orv
