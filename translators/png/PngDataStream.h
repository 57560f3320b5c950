// SPDX-License-Identifier: MIT
// The pixels of one picture of a PNG file as a PNG stream of its own, made while libpng
// reads it: the signature, the file's header at the picture's size, the palette chunks,
// each of the picture's data chunks as an IDAT (an fdAT's sequence number left out), and
// IEND. libpng then sees nothing but what makes the pixels, whatever else the file holds:
// the other chunks have been read, bounded, by the layout walk. A chunk the file holds only
// in part is given as far as it goes, so that every byte there is decoded.
#pragma once

#include <vector>

#include "platform/support/DataIO.h"
#include "translators/png/PngLayout.h"

namespace orv::png {

class DataStream final : public BDataIO {
public:
    // `data` must outlive the stream.
    DataStream(BPositionIO& source, const PngLayout& layout, uint32 width, uint32 height,
               const std::vector<DataChunk>& data);

    // Whether the file ended inside the picture's data.
    bool Truncated() const;

    ssize_t Read(void* buffer, size_t size) override;
    ssize_t Write(const void*, size_t) override { return B_NOT_ALLOWED; }

private:
    void Append(const uint8* bytes, size_t size);
    void AppendChunk(const char type[4], const uint8* data, size_t size);
    status_t Refill();

    BPositionIO& fSource;
    const std::vector<DataChunk>& fChunks;
    std::vector<uint8> fPending;  // bytes made here, given before anything else
    size_t fPendingAt = 0;
    size_t fChunk = 0;  // the next data chunk
    bool fInChunk = false;
    bool fRecomputeCrc = false;  // the chunk given differs from the file's
    bool fEnded = false;
    off_t fPayloadAt = 0;
    uint64 fPayloadLeft = 0;
    uint32 fNewCrc = 0;
    uint32 fFileCrc = 0;
};

}  // namespace orv::png
