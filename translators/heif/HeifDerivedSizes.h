// SPDX-License-Identifier: MIT
// The sizes that a HEIF file's derived images (grids and overlays) state in their own data.
// libheif allocates a derived image at that size, checking it against nothing but a limit
// on each side; a file of a few hundred bytes can then have it allocate gigabytes. Read
// here from the file's boxes, they can be checked against the picture first.
#pragma once

#include <vector>

#include "platform/support/DataIO.h"
#include "platform/support/SupportDefs.h"

namespace orv::heif {

struct DerivedSize {
    uint32 item = 0;
    uint64 width = 0;
    uint64 height = 0;
};

// Every grid and overlay item's output size, from the 'meta' box of the file. Empty when
// there are none, or when the boxes cannot be read: libheif, which has read them, then
// judges the file.
std::vector<DerivedSize> ReadDerivedSizes(BPositionIO& source);

}  // namespace orv::heif
