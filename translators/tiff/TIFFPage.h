// SPDX-License-Identifier: MIT
// One TIFF directory's pixels into a bitmap, as stored (the orientation is the caller's
// affair). libtiff's RGBA reader takes every photometric and integer depth it knows; 32 and
// 64-bit floating-point and 32-bit integer samples, which it refuses, are read here.
// Damage is counted, not hidden: a strip or tile that cannot be read is left blank and
// counted as missing, one read with complaints is counted as damaged.
#pragma once

#include <memory>
#include <string>

#include "platform/interface/Bitmap.h"
#include "translators/tiff/TIFFStream.h"

namespace orv {

struct PageShape {
    uint32 width = 0;
    uint32 height = 0;
    uint16 orientation = ORIENTATION_TOPLEFT;
    bool alpha = false;  // the page comes as B_RGBA32
};

// Whether the current directory is a page this reader can decode, and its shape; the
// reason is set when it is not.
status_t CheckPage(TIFF* tiff, PageShape* shape);

struct PageDamage {
    uint64 lostPixels = 0;     // could not be read: left blank
    uint64 damagedPixels = 0;  // read, but libtiff complained while reading them
    uint64 declaredBytes = 0;  // the page's compressed data, as its directory declares it
    std::string reason;        // libtiff's first words about it
};

// Decodes the current directory into a new bitmap of its stored size. Fails, with
// libtiff's reason, only when no part of the picture could be read.
status_t DecodePage(TIFF* tiff, TIFFStream& stream, std::unique_ptr<BBitmap>* image,
                    PageDamage* damage);

}  // namespace orv
