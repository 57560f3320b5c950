// SPDX-License-Identifier: MIT
// What a decoded picture carries beside its pixels: how its colours are meant, its EXIF,
// XMP and IPTC blocks, its resolution, and, for animations and multi-page files, how many
// frames it holds. Decoders fill it from the file as stored; encoders write what they are
// given. Neither edits it: making it true to a new file is the conversion's affair.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/interface/Bitmap.h"
#include "platform/support/SupportDefs.h"

namespace orv {

// How the pixel values are meant. An ICC profile says it all; without one a file may still
// name sRGB, give CICP code points (AVIF, HEIF, PNG cICP) or a bare gamma and white point
// with primaries (PNG gAMA and cHRM). A description with none of these is taken as sRGB.
struct ColorDescription {
    std::vector<uint8> icc;
    bool srgb = false;
    int32 renderingIntent = 0;  // ICC rendering intent, 0 (perceptual) when not stated
    // ITU-T H.273 code points; 0 (reserved) means "not stated".
    uint8 primaries = 0;
    uint8 transfer = 0;
    uint8 matrix = 0;
    bool fullRange = true;
    // PNG gAMA (the file's gamma, e.g. 0.45455) and cHRM; 0 means "not stated".
    double gamma = 0;
    double chromaticities[8] = {};  // white x, y; red x, y; green x, y; blue x, y

    bool HasCicp() const { return primaries != 0 || transfer != 0 || matrix != 0; }
    bool HasChromaticities() const { return chromaticities[0] > 0; }
    // True when nothing but sRGB is meant: no profile, no CICP, no gamma or primaries.
    bool IsPlainSRGB() const {
        return icc.empty() && !HasCicp() && gamma == 0 && !HasChromaticities();
    }
};

struct PictureMetadata {
    ColorDescription color;
    // The EXIF block in its TIFF structure ("II*\0" or "MM\0*" first), without the
    // "Exif\0\0" that JPEG puts before it.
    std::vector<uint8> exif;
    std::vector<uint8> xmp;   // the XMP packet, UTF-8 XML
    std::vector<uint8> iptc;  // IPTC-IIM datasets (0x1C ...), without a Photoshop wrapper
    double xDpi = 0;          // pixels per inch; 0 when the file does not say
    double yDpi = 0;

    bool HasTextBlocks() const { return !exif.empty() || !xmp.empty() || !iptc.empty(); }
};

struct PictureInfo {
    // The canvas, as the frames will come: after the orientation, when it was applied.
    uint32 width = 0;
    uint32 height = 0;
    uint32 frameCount = 1;
    int32 loopCount = 0;  // how many times an animation plays; 0 for ever
    bool pages = false;   // the frames are the pages of a document, not an animation
    bool alpha = false;   // frames may come as B_RGBA32
    // The decoder turned the pixels upright by the file's orientation, which the output
    // must then no longer state.
    bool orientationApplied = false;
    PictureMetadata metadata;
};

// How long a frame of an animation stays on screen.
struct FrameTiming {
    uint32 delayMs = 0;
};

// What a codec that decodes a single picture at once returns.
struct DecodedImage {
    std::unique_ptr<BBitmap> bitmap;
    PictureInfo info;
    // Empty when the file was whole; otherwise, in French, what was wrong with it and how
    // much of the picture is missing. The pixels are then what could be read.
    std::string damage;
};

// Checks a sequence of `frames` frames of width × height against the one pixel limit
// (all frames counted) before anything is allocated; the reason is set on failure.
status_t CheckSequenceSize(uint64 width, uint64 height, uint64 frames);

// Checks the size of a block a file declares beside its pixels (a chunk, a profile, an
// EXIF or XMP block, a comment) against kMaxMetadataBytes, naming `what` in the reason.
status_t CheckMetadataSize(uint64 bytes, const char* what);

// The share of a picture that could not be read, `missing` of `total` rows (or pixels), in
// whole percent: at least 1 when anything is missing, at most 99 when anything was read.
uint32 MissingPercent(uint64 missing, uint64 total);

// What a decoder says of a file that ends early: « fichier tronqué : environ 9 % de l'image
// manque ».
std::string TruncationDamage(uint64 missing, uint64 total);

}  // namespace orv
