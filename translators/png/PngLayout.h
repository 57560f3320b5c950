// SPDX-License-Identifier: MIT
// One walk over a PNG file's chunks, before any pixel is decoded: the header, the metadata
// chunks (read whole, each bounded), and for an animated PNG (APNG) its frames: each one's
// region, timing, dispose and blend operations and where its compressed data lies. Pixel
// data is never read here, only skipped.
#pragma once

#include <string>
#include <vector>

#include "platform/support/DataIO.h"
#include "platform/translation/Picture.h"

namespace orv::png {

// How the canvas changes after a frame has been shown, and how a frame goes onto it.
enum class Dispose : uint8 { kNone = 0, kBackground = 1, kPrevious = 2 };
enum class Blend : uint8 { kSource = 0, kOver = 1 };

// A chunk of compressed image data in the file: an IDAT, or an fdAT whose data starts with
// its 4-byte sequence number.
struct DataChunk {
    off_t offset = 0;      // of the chunk's data
    uint32 length = 0;     // as declared
    uint32 available = 0;  // what the file holds of it (less when the file ends inside)
    bool fdat = false;
};

struct ApngFrame {
    uint32 width = 0;
    uint32 height = 0;
    uint32 x = 0;
    uint32 y = 0;
    uint32 delayMs = 0;
    Dispose dispose = Dispose::kNone;
    Blend blend = Blend::kSource;
    std::vector<DataChunk> data;
};

struct PngLayout {
    uint8 header[13] = {};  // IHDR's data as stored
    uint32 width = 0;
    uint32 height = 0;
    bool alpha = false;  // an alpha channel or a tRNS chunk
    // PLTE and tRNS as whole chunks (length, type, data, CRC), which every frame shares.
    std::vector<uint8> palette;
    // The IDAT chunks: the picture shown by readers that know no animation.
    std::vector<DataChunk> imageData;
    // The animation, when the file is a valid APNG: at least one frame, in order. The
    // first one is the IDAT image when that is part of the animation.
    std::vector<ApngFrame> frames;
    uint32 declaredFrames = 0;
    uint32 plays = 0;  // 0: for ever
    PictureMetadata metadata;
    bool ended = false;  // IEND was reached
    // Damage met on the way (a metadata chunk that cannot be read, a broken animation);
    // the file's end coming too early is said by whoever decodes the pixels.
    std::string damage;
};

// Walks the file from its start. Fails, with a reason, on what is not a PNG file, on a
// header that cannot be used and on a chunk the reader would read that is larger than
// kMaxMetadataBytes.
status_t ReadLayout(BPositionIO& source, PngLayout* layout);

}  // namespace orv::png
