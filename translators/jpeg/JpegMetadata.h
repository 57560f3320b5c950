// SPDX-License-Identifier: MIT
// What a JPEG says beside its pixels, in its APP segments: EXIF (APP1 "Exif"), XMP (APP1),
// IPTC (APP13, inside Photoshop's resources), the ICC profile (APP2, split over several
// segments) and the resolution (JFIF density, or EXIF's). Read as stored, written as given.
#pragma once

#include <vector>

#include "platform/translation/Picture.h"
#include "translators/jpeg/JpegIO.h"

namespace orv::jpeg {

// The segments the reader keeps (through KeepMarkers) before the header is read.
void KeepMetadataMarkers(jpeg_decompress_struct* info);

// Fills `metadata` from the kept segments and the JFIF header, after jpeg_read_header. The
// ICC profile is not read here (jpeg_read_icc_profile may leave by longjmp).
void ReadMetadata(const jpeg_decompress_struct& info, PictureMetadata* metadata);

// One APP segment to write after the frame header: the marker and its payload.
struct Segment {
    int marker;
    std::vector<uint8> bytes;
};

// The segments that carry `metadata`'s EXIF, XMP and IPTC blocks. A block too large for one
// segment cannot be written as JPEG stores it and is left out rather than written broken.
std::vector<Segment> MetadataSegments(const PictureMetadata& metadata);

// The JFIF density for a resolution in pixels per inch (0 when not stated).
void SetDensity(double xDpi, double yDpi, jpeg_compress_struct* info);

}  // namespace orv::jpeg
