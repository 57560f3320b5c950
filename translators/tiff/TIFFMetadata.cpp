// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFMetadata.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace orv {
namespace {

constexpr double kCentimetresPerInch = 2.54;

// A tag's bytes as libtiff holds them (count × the size of one stored value), checked
// against the metadata bound.
status_t ReadBlock(TIFF* tiff, uint32 tag, const char* what, std::vector<uint8>* block) {
    uint32 count = 0;
    void* data = nullptr;
    if (!TIFFGetField(tiff, tag, &count, &data) || data == nullptr || count == 0) {
        return B_OK;
    }
    const TIFFField* field = TIFFFieldWithTag(tiff, tag);
    const uint64 size = uint64(count) * uint64(field != nullptr ? TIFFFieldSetGetSize(field) : 1);
    if (status_t status = CheckMetadataSize(size, what); status != B_OK) {
        return status;
    }
    const auto* bytes = static_cast<const uint8*>(data);
    block->assign(bytes, bytes + size);
    return B_OK;
}

// The IPTC tag is counted in 4-byte units and padded with zeros: the datasets end where
// the last whole one does.
size_t IptcLength(const std::vector<uint8>& iptc) {
    size_t at = 0;
    while (at + 5 <= iptc.size() && iptc[at] == 0x1c) {
        size_t length = size_t(iptc[at + 3]) << 8 | iptc[at + 4];
        size_t header = 5;
        if (length & 0x8000) {  // an extended dataset: the length's own length follows
            const size_t digits = length & 0x7fff;
            if (digits > 4 || at + 5 + digits > iptc.size()) {
                break;
            }
            length = 0;
            for (size_t i = 0; i < digits; i++) {
                length = length << 8 | iptc[at + 5 + i];
            }
            header += digits;
        }
        if (at + header + length > iptc.size()) {
            break;
        }
        at += header + length;
    }
    return at;
}

void WriteBlock(TIFF* tiff, uint32 tag, const std::vector<uint8>& block) {
    if (!block.empty()) {
        TIFFSetField(tiff, tag, uint32(block.size()), block.data());
    }
}

}  // namespace

status_t ReadTIFFMetadata(TIFF* tiff, PictureMetadata* metadata) {
    status_t status = ReadBlock(tiff, TIFFTAG_ICCPROFILE, "profil ICC", &metadata->color.icc);
    if (status == B_OK) {
        status = ReadBlock(tiff, TIFFTAG_XMLPACKET, "bloc XMP", &metadata->xmp);
    }
    if (status == B_OK) {
        status = ReadBlock(tiff, TIFFTAG_RICHTIFFIPTC, "bloc IPTC", &metadata->iptc);
        metadata->iptc.resize(IptcLength(metadata->iptc));
    }
    if (status != B_OK) {
        return status;
    }
    float x = 0;
    float y = 0;
    uint16 unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (unit != RESUNIT_NONE && TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) &&
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) && x > 0 && y > 0 && std::isfinite(x) &&
        std::isfinite(y)) {
        const double scale = unit == RESUNIT_CENTIMETER ? kCentimetresPerInch : 1.0;
        metadata->xDpi = x * scale;
        metadata->yDpi = y * scale;
    }
    return B_OK;
}

void WriteTIFFColour(TIFF* tiff, const PictureMetadata& metadata) {
    WriteBlock(tiff, TIFFTAG_ICCPROFILE, metadata.color.icc);
    if (metadata.xDpi > 0 && metadata.yDpi > 0) {
        TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tiff, TIFFTAG_XRESOLUTION, metadata.xDpi);
        TIFFSetField(tiff, TIFFTAG_YRESOLUTION, metadata.yDpi);
    }
}

void WriteTIFFTextBlocks(TIFF* tiff, const PictureMetadata& metadata) {
    WriteBlock(tiff, TIFFTAG_XMLPACKET, metadata.xmp);
    if (metadata.iptc.empty()) {
        return;
    }
    // Stored in whole units of the tag's type (4 bytes where libtiff keeps it as LONG).
    const TIFFField* field = TIFFFieldWithTag(tiff, TIFFTAG_RICHTIFFIPTC);
    const size_t unit = field != nullptr ? size_t(std::max(1, TIFFFieldSetGetSize(field))) : 1;
    std::vector<uint8> padded = metadata.iptc;
    padded.resize((padded.size() + unit - 1) / unit * unit, 0);
    TIFFSetField(tiff, TIFFTAG_RICHTIFFIPTC, uint32(padded.size() / unit), padded.data());
}

}  // namespace orv
