// SPDX-License-Identifier: MIT
// The compressed image data of a picture or of an animation frame: rows filtered, deflated
// by libdeflate into one zlib stream, written as chunks of at most 1 MB. A big picture is
// done in bands of rows, compressed apart (on several cores) and joined, so that neither
// the whole filtered picture nor the whole compressed one is ever held.
#pragma once

#include "platform/support/DataIO.h"
#include "platform/support/SupportDefs.h"

namespace orv::png {

// The rows to write, already packed as the file stores them. Row() may be called from
// several threads at once, for different rows.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual void Row(uint32 y, uint8* out) const = 0;
};

// Row filter choices, numbered as the format numbers them, plus one that picks per row.
inline constexpr int kFilterAdaptive = 5;

struct ImageDataLayout {
    uint32 height = 0;
    size_t rowBytes = 0;    // packed bytes of a row, without its filter byte
    size_t filterStep = 1;  // bytes from a pixel to the one on its left (at least 1)
    int filter = kFilterAdaptive;
    int level = 6;  // libdeflate's 0 (stored) to 12
};

// Writes the rows' zlib stream as chunks of `type`: "IDAT", or "fdAT" each starting with
// the sequence number *sequence, which is then counted on. Failures carry a reason.
status_t WriteImageData(const RowSource& rows, const ImageDataLayout& layout,
                        BPositionIO& destination, const char type[4], uint32* sequence);

}  // namespace orv::png
