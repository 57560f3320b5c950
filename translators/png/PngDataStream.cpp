// SPDX-License-Identifier: MIT
#include "translators/png/PngDataStream.h"

#include <algorithm>
#include <cstring>

#include "platform/support/ByteOrder.h"
#include "translators/png/PngChunks.h"

namespace orv::png {

DataStream::DataStream(BPositionIO& source, const PngLayout& layout, uint32 width, uint32 height,
                       const std::vector<DataChunk>& data)
    : fSource(source), fChunks(data) {
    Append(kSignature, sizeof(kSignature));
    uint8 header[13];
    std::memcpy(header, layout.header, sizeof(header));
    WriteBE32(header, width);
    WriteBE32(header + 4, height);
    AppendChunk("IHDR", header, sizeof(header));
    Append(layout.palette.data(), layout.palette.size());
}

bool DataStream::Truncated() const {
    return std::any_of(fChunks.begin(), fChunks.end(),
                       [](const DataChunk& chunk) { return chunk.available < chunk.length; });
}

ssize_t DataStream::Read(void* buffer, size_t size) {
    auto* out = static_cast<uint8*>(buffer);
    size_t done = 0;
    while (done < size) {
        if (fPending.size() == fPendingAt) {
            if (status_t status = Refill(); status != B_OK) {
                return done > 0 ? ssize_t(done) : ssize_t(status);
            }
            if (fPending.size() == fPendingAt && fPayloadLeft == 0) {
                break;  // the end of the stream
            }
        }
        if (fPendingAt < fPending.size()) {
            const size_t n = std::min(size - done, fPending.size() - fPendingAt);
            std::memcpy(out + done, fPending.data() + fPendingAt, n);
            fPendingAt += n;
            done += n;
            continue;
        }
        // Payload straight from the file into libpng's buffer.
        const size_t n = size_t(std::min<uint64>(size - done, fPayloadLeft));
        if (fSource.ReadAtExactly(fPayloadAt, out + done, n) != B_OK) {
            return B_IO_ERROR;
        }
        if (fRecomputeCrc) {
            fNewCrc = ChunkCrc(fNewCrc, out + done, n);
            fFileCrc = ChunkCrc(fFileCrc, out + done, n);
        }
        fPayloadAt += off_t(n);
        fPayloadLeft -= n;
        done += n;
    }
    return ssize_t(done);
}

void DataStream::Append(const uint8* bytes, size_t size) {
    fPending.insert(fPending.end(), bytes, bytes + size);
}

void DataStream::AppendChunk(const char type[4], const uint8* data, size_t size) {
    uint8 head[8];
    WriteBE32(head, uint32(size));
    std::memcpy(head + 4, type, 4);
    Append(head, 8);
    Append(data, size);
    uint8 crc[4];
    WriteBE32(crc, ChunkCrc(ChunkCrc(0, type, 4), data, size));
    Append(crc, 4);
}

// What comes after the bytes given so far: the CRC of the chunk just given, then the next
// chunk's header (its payload then comes from the file), or IEND. A whole IDAT keeps its
// stored CRC; any other chunk's CRC is computed anew and made wrong by as much as the
// file's own is, so that libpng reports damage as it would in the file itself.
status_t DataStream::Refill() {
    if (fPayloadLeft > 0) {
        return B_OK;
    }
    fPending.clear();
    fPendingAt = 0;
    if (fInChunk) {
        fInChunk = false;
        const DataChunk& chunk = fChunks[fChunk - 1];
        uint32 crc = fNewCrc;
        if (chunk.available == chunk.length) {
            uint8 stored[4];
            if (fSource.ReadAtExactly(chunk.offset + chunk.length, stored, 4) != B_OK) {
                return B_IO_ERROR;
            }
            crc = fRecomputeCrc ? crc ^ ReadBE32(stored) ^ fFileCrc : ReadBE32(stored);
        }
        uint8 bytes[4];
        WriteBE32(bytes, crc);
        Append(bytes, 4);
    }
    if (fChunk < fChunks.size()) {
        const DataChunk& chunk = fChunks[fChunk++];
        const uint32 skip = chunk.fdat ? 4 : 0;
        const uint32 payload = chunk.available > skip ? chunk.available - skip : 0;
        uint8 head[8];
        WriteBE32(head, payload);
        std::memcpy(head + 4, "IDAT", 4);
        Append(head, 8);
        fRecomputeCrc = chunk.fdat || chunk.available < chunk.length;
        fNewCrc = ChunkCrc(0, head + 4, 4);
        fFileCrc = ChunkCrc(0, chunk.fdat ? "fdAT" : "IDAT", 4);
        if (chunk.fdat && chunk.available >= 4) {
            uint8 sequence[4];
            if (fSource.ReadAtExactly(chunk.offset, sequence, 4) != B_OK) {
                return B_IO_ERROR;
            }
            fFileCrc = ChunkCrc(fFileCrc, sequence, 4);
        }
        fPayloadAt = chunk.offset + skip;
        fPayloadLeft = payload;
        fInChunk = true;
    } else if (!fEnded) {
        fEnded = true;
        AppendChunk("IEND", nullptr, 0);
    }
    return B_OK;
}

}  // namespace orv::png
