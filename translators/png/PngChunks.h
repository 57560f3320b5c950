// SPDX-License-Identifier: MIT
// The chunk layer of PNG files, shared by the reader and the writer: a chunk is a length, a
// four-letter type, the data and a CRC of type and data. Also the bounded zlib streams that
// profiles and compressed text chunks hold.
#pragma once

#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/support/DataIO.h"
#include "platform/support/SupportDefs.h"

namespace orv::png {

inline constexpr uint8 kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

// Readers take any chunk up to 2^31 - 1 bytes.
inline constexpr uint32 kMaxChunkLength = 0x7fffffff;

constexpr uint16 ReadBE16(const uint8* bytes) {
    return uint16(bytes[0] << 8 | bytes[1]);
}

constexpr void WriteBE16(uint8* bytes, uint16 value) {
    bytes[0] = uint8(value >> 8);
    bytes[1] = uint8(value);
}

// A chunk type compared as text: IsType(type, "IDAT").
inline bool IsType(const uint8* type, const char (&name)[5]) {
    return std::memcmp(type, name, 4) == 0;
}

// "bloc PNG « tEXt »": how a chunk is named in reasons.
std::string ChunkName(const uint8* type);

// The CRC the format puts after each chunk, over its type and then its data; `crc` carries
// a running value over pieces (0 to start).
uint32 ChunkCrc(uint32 crc, const void* bytes, size_t size);

// Writes one whole chunk at the destination's position: its data is `prefix` (often empty)
// then `size` bytes at `data`, written from where they lie. Failures carry a reason.
status_t WriteChunk(BPositionIO& destination, const char type[4], const uint8* data, size_t size,
                    std::span<const uint8> prefix = {});

// The zlib stream of `size` bytes, compressed at `level` (libdeflate's 0 to 12).
status_t ZlibCompress(const uint8* bytes, size_t size, int level, std::vector<uint8>* out);

// Inflates a zlib stream whose result may be at most kMaxMetadataBytes long; `what` names
// the block in the reason when it is longer or damaged.
status_t ZlibInflate(const uint8* bytes, size_t size, const char* what, std::vector<uint8>* out);

// Reads a file's chunks one after the other from just after the signature: each header,
// then either the data (bounded by the caller) or a skip over it.
class ChunkReader {
public:
    explicit ChunkReader(BPositionIO& source, off_t start = sizeof(kSignature))
        : fSource(source), fNext(start) {}

    // The next chunk's header; false at the end of the file, or when the file ends inside
    // the header or the chunk (then Truncated() is true).
    bool Next();
    const uint8* Type() const { return fType; }
    uint32 Length() const { return fLength; }
    off_t DataOffset() const { return fNext - off_t(fLength) - 4; }
    bool Truncated() const { return fTruncated; }
    // How much of the data the file holds: less than Length() when it ends inside.
    uint32 Available() const;
    // Where the chunk ends in the file when the file is long enough for it.
    off_t End() const { return fNext; }

    // The chunk's data, after checking its length against kMaxMetadataBytes; `crcOk` says
    // whether the stored CRC matches.
    status_t ReadData(std::vector<uint8>* data, bool* crcOk);
    // Only the first `size` bytes of the data (size at most Length()).
    status_t ReadPrefix(uint8* data, size_t size);

private:
    BPositionIO& fSource;
    off_t fNext;
    off_t fSize = -1;
    uint8 fType[4] = {};
    uint32 fLength = 0;
    bool fTruncated = false;
};

}  // namespace orv::png
