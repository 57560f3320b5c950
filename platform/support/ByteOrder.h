// SPDX-License-Identifier: MIT
// Integers stored in a file or a stream in a fixed byte order, read and written a byte at a
// time so that neither the machine's order nor the alignment of the bytes matters.
#pragma once

#include "platform/support/SupportDefs.h"

namespace orv {

constexpr uint16 ReadLE16(const uint8* bytes) {
    return uint16(bytes[0] | (bytes[1] << 8));
}

constexpr uint32 ReadLE32(const uint8* bytes) {
    return uint32(bytes[0]) | (uint32(bytes[1]) << 8) | (uint32(bytes[2]) << 16) |
           (uint32(bytes[3]) << 24);
}

constexpr uint64 ReadLE64(const uint8* bytes) {
    return uint64(ReadLE32(bytes)) | (uint64(ReadLE32(bytes + 4)) << 32);
}

constexpr uint32 ReadBE32(const uint8* bytes) {
    return (uint32(bytes[0]) << 24) | (uint32(bytes[1]) << 16) | (uint32(bytes[2]) << 8) |
           uint32(bytes[3]);
}

constexpr void WriteLE16(uint8* bytes, uint16 value) {
    bytes[0] = uint8(value);
    bytes[1] = uint8(value >> 8);
}

constexpr void WriteLE32(uint8* bytes, uint32 value) {
    WriteLE16(bytes, uint16(value));
    WriteLE16(bytes + 2, uint16(value >> 16));
}

constexpr void WriteBE32(uint8* bytes, uint32 value) {
    bytes[0] = uint8(value >> 24);
    bytes[1] = uint8(value >> 16);
    bytes[2] = uint8(value >> 8);
    bytes[3] = uint8(value);
}

}  // namespace orv
