// SPDX-License-Identifier: MIT
// EXIF as the ISO base media formats (AVIF, HEIF, JPEG XL) store it: an "Exif" item or box
// whose first four bytes give, big-endian, how far past them the TIFF header starts. What we
// hand on is the TIFF structure alone, as every other format's decoder does.
#pragma once

#include <cstring>
#include <vector>

#include "platform/support/SupportDefs.h"

namespace orv {

// The TIFF structure in an EXIF block that may still carry JPEG's "Exif\0\0" before it;
// empty when no TIFF header starts there.
inline std::vector<uint8> TiffStructure(const uint8* data, size_t size) {
    if (size >= 6 && std::memcmp(data, "Exif\0\0", 6) == 0) {
        data += 6;
        size -= 6;
    }
    if (size < 8 || (std::memcmp(data, "II*\0", 4) != 0 && std::memcmp(data, "MM\0*", 4) != 0)) {
        return {};
    }
    return std::vector<uint8>(data, data + size);
}

// The TIFF structure of an "Exif" item or box's payload, offset field included; empty when
// the offset leads nowhere or to no TIFF header.
inline std::vector<uint8> ExifFromPayload(const uint8* data, size_t size) {
    if (size < 4) {
        return {};
    }
    const uint32 offset =
        uint32(data[0]) << 24 | uint32(data[1]) << 16 | uint32(data[2]) << 8 | uint32(data[3]);
    if (offset > size - 4) {
        return {};
    }
    return TiffStructure(data + 4 + offset, size - 4 - offset);
}

// The payload of an "Exif" box for a TIFF structure: a zero offset, then the structure.
inline std::vector<uint8> ExifPayload(const std::vector<uint8>& tiff) {
    std::vector<uint8> payload(4, 0);
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return payload;
}

}  // namespace orv
