// SPDX-License-Identifier: MIT
#include "translators/jpeg/JpegMetadata.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "platform/translation/PixelRows.h"

namespace orv::jpeg {

namespace {

// What each segment starts with.
constexpr std::string_view kExifHeader{"Exif\0\0", 6};
constexpr std::string_view kXmpHeader{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kPhotoshopHeader{"Photoshop 3.0\0", 14};
constexpr std::string_view kResourceSignature{"8BIM", 4};
constexpr uint32 kIptcResource = 0x0404;

// A segment's payload is at most 65533 bytes (its length field counts itself).
constexpr size_t kMaxSegmentPayload = 65533;

bool StartsWith(const jpeg_marker_struct& marker, std::string_view header) {
    return marker.data_length >= header.size() &&
           std::memcmp(marker.data, header.data(), header.size()) == 0;
}

std::vector<uint8> After(const jpeg_marker_struct& marker, std::string_view header) {
    return std::vector<uint8>(marker.data + header.size(), marker.data + marker.data_length);
}

uint32 BigEndian(const uint8* p, int bytes) {
    uint32 value = 0;
    for (int i = 0; i < bytes; i++) {
        value = value << 8 | p[i];
    }
    return value;
}

// Photoshop's image resources: "8BIM", a 16-bit id, a Pascal name padded to an even size,
// a 32-bit size and the data, padded to an even size. The IPTC datasets are resource 0x0404.
std::vector<uint8> IptcResource(const std::vector<uint8>& resources) {
    const uint8* p = resources.data();
    size_t left = resources.size();
    while (left >= 12 && std::memcmp(p, kResourceSignature.data(), 4) == 0) {
        const uint32 id = BigEndian(p + 4, 2);
        const size_t nameSize = (size_t(p[6]) + 2) & ~size_t(1);  // length byte included
        if (left < 6 + nameSize + 4) {
            break;
        }
        const size_t size = BigEndian(p + 6 + nameSize, 4);
        const size_t header = 6 + nameSize + 4;
        if (size > left - header) {
            break;
        }
        if (id == kIptcResource) {
            return std::vector<uint8>(p + header, p + header + size);
        }
        const size_t step = std::min(left, header + ((size + 1) & ~size_t(1)));
        p += step;
        left -= step;
    }
    return {};
}

// Resized and copied rather than inserted: GCC 12 at -O3 warns of an overflow in the insert.
void Append(std::vector<uint8>* out, std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    const size_t at = out->size();
    out->resize(at + bytes.size());
    std::memcpy(out->data() + at, bytes.data(), bytes.size());
}

void AppendBigEndian(std::vector<uint8>* out, uint32 value, int bytes) {
    for (int i = bytes - 1; i >= 0; i--) {
        out->push_back(uint8(value >> (8 * i)));
    }
}

}  // namespace

void KeepMetadataMarkers(jpeg_decompress_struct* info) {
    for (int marker : {JPEG_APP0 + 1, JPEG_APP0 + 2, JPEG_APP0 + 13}) {
        KeepMarkers(info, marker);
    }
}

void ReadMetadata(const jpeg_decompress_struct& info, PictureMetadata* metadata) {
    // Photoshop splits its resources over several APP13 segments when they are large.
    std::vector<uint8> resources;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && metadata->exif.empty() && StartsWith(*m, kExifHeader)) {
            metadata->exif = After(*m, kExifHeader);
        } else if (m->marker == JPEG_APP0 + 1 && metadata->xmp.empty() &&
                   StartsWith(*m, kXmpHeader)) {
            metadata->xmp = After(*m, kXmpHeader);
        } else if (m->marker == JPEG_APP0 + 13 && StartsWith(*m, kPhotoshopHeader)) {
            const std::vector<uint8> piece = After(*m, kPhotoshopHeader);
            resources.insert(resources.end(), piece.begin(), piece.end());
        }
    }
    metadata->iptc = IptcResource(resources);

    // JFIF states dots per inch (1) or per centimetre (2); 0 is only an aspect ratio.
    if (info.saw_JFIF_marker && (info.density_unit == 1 || info.density_unit == 2) &&
        info.X_density > 0 && info.Y_density > 0) {
        const double perInch = info.density_unit == 2 ? 2.54 : 1.0;
        metadata->xDpi = info.X_density * perInch;
        metadata->yDpi = info.Y_density * perInch;
    } else {
        ExifResolution(metadata->exif.data(), metadata->exif.size(), &metadata->xDpi,
                       &metadata->yDpi);
    }
}

std::vector<Segment> MetadataSegments(const PictureMetadata& metadata) {
    std::vector<Segment> segments;
    if (!metadata.exif.empty()) {
        if (kExifHeader.size() + metadata.exif.size() <= kMaxSegmentPayload) {
            Segment& exif = segments.emplace_back(Segment{JPEG_APP0 + 1, {}});
            Append(&exif.bytes, kExifHeader);
            exif.bytes.insert(exif.bytes.end(), metadata.exif.begin(), metadata.exif.end());
        }
    }
    if (!metadata.xmp.empty()) {
        if (kXmpHeader.size() + metadata.xmp.size() <= kMaxSegmentPayload) {
            Segment& xmp = segments.emplace_back(Segment{JPEG_APP0 + 1, {}});
            Append(&xmp.bytes, kXmpHeader);
            xmp.bytes.insert(xmp.bytes.end(), metadata.xmp.begin(), metadata.xmp.end());
        }
    }
    if (!metadata.iptc.empty()) {
        // One resource with an empty name (its length byte and a pad byte).
        const size_t padded = (metadata.iptc.size() + 1) & ~size_t(1);
        if (kPhotoshopHeader.size() + 12 + padded <= kMaxSegmentPayload) {
            Segment& iptc = segments.emplace_back(Segment{JPEG_APP0 + 13, {}});
            Append(&iptc.bytes, kPhotoshopHeader);
            Append(&iptc.bytes, kResourceSignature);
            AppendBigEndian(&iptc.bytes, kIptcResource, 2);
            AppendBigEndian(&iptc.bytes, 0, 2);
            AppendBigEndian(&iptc.bytes, uint32(metadata.iptc.size()), 4);
            iptc.bytes.insert(iptc.bytes.end(), metadata.iptc.begin(), metadata.iptc.end());
            iptc.bytes.resize(kPhotoshopHeader.size() + 12 + padded, 0);
        }
    }
    return segments;
}

void SetDensity(double xDpi, double yDpi, jpeg_compress_struct* info) {
    if (!(xDpi > 0 && yDpi > 0)) {
        return;
    }
    const auto density = [](double dpi) {
        return UINT16(std::clamp(std::lround(dpi), 1L, 65535L));
    };
    info->density_unit = 1;
    info->X_density = density(xDpi);
    info->Y_density = density(yDpi);
}

}  // namespace orv::jpeg
