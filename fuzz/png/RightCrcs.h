// SPDX-License-Identifier: MIT
// Nearly every mutation of a PNG file breaks a chunk's CRC, and a picture with a wrong CRC
// never reaches the decoding that only whole, undamaged pictures take. The PNG targets
// therefore decode each input twice: as it is, and with the CRC of every whole chunk made
// right.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "translators/png/PngChunks.h"

namespace orv::fuzz {

inline std::vector<uint8_t> WithRightCrcs(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    size_t at = sizeof(png::kSignature);
    while (at + 12 <= bytes.size()) {
        const uint32 length = ReadBE32(&bytes[at]);
        if (length > bytes.size() - at - 12) {
            break;
        }
        const uint32 crc =
            png::ChunkCrc(png::ChunkCrc(0, &bytes[at + 4], 4), &bytes[at + 8], length);
        WriteBE32(&bytes[at + 8 + length], crc);
        at += 12 + size_t(length);
    }
    return bytes;
}

}  // namespace orv::fuzz
