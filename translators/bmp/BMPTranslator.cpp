// SPDX-License-Identifier: MIT
#include "translators/bmp/BMPTranslator.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"

namespace orv {
namespace {

constexpr translation_format kFormats[] = {
    {FourCC("BMP "), B_TRANSLATOR_BITMAP, 0.7f, 0.7f, "image/bmp", "Image BMP"},
};

// BMP keeps alpha only in its 32-bit form, which some programs still show opaque, so
// flattening is offered; it is off so that transparency is not thrown away unasked.
constexpr SettingSchema kSettings[] = {
    FlattenAlphaSetting(false),
};

// A BMP holds an ICC profile in its version 5 header, and its resolution; no EXIF, XMP or
// IPTC, and one picture.
constexpr TranslatorDescription kDescription = {
    "Images BMP", "Images BMP de Windows et d'OS/2 : palettes, 16, 24 et 32 bits, RLE, profil ICC",
    100,          "bmp",
    kFormats,     kFormats,
    kSettings,    WriterTraits{.profiles = true},
};

constexpr size_t kFileHeaderSize = 14;
constexpr uint32 kCoreHeaderSize = 12;
constexpr uint32 kInfoHeaderSize = 40;
constexpr uint32 kV4HeaderSize = 108;
constexpr uint32 kLargestHeader = 124;  // BITMAPV5HEADER
constexpr double kMetresPerInch = 0.0254;
// The colour spaces a version 4 or 5 header names.
constexpr uint32 kSRGBColourSpace = 0x73524742;     // 'sRGB'
constexpr uint32 kWindowsColourSpace = 0x57696e20;  // 'Win ', which is sRGB
constexpr uint32 kEmbeddedProfile = 0x4d424544;     // 'MBED'
constexpr uint32 kPerceptualIntent = 4;             // LCS_GM_IMAGES

enum Compression : uint32 {
    kRGB = 0,
    kRLE8 = 1,
    kRLE4 = 2,
    kBitFields = 3,
    kJPEG = 4,
    kPNG = 5,
    kAlphaBitFields = 6,
};

struct BMPHeader {
    uint32 dataOffset = 0;
    uint32 headerSize = 0;
    uint32 width = 0;
    uint32 height = 0;
    bool topDown = false;
    uint16 bitCount = 0;
    uint32 compression = kRGB;
    uint32 masks[4] = {};  // red, green, blue, alpha
    off_t paletteOffset = 0;
    uint32 paletteEntries = 0;
    uint32 paletteEntryBytes = 4;
    int32 xPixelsPerMetre = 0;
    int32 yPixelsPerMetre = 0;
    uint32 colourSpace = 0;
    uint32 intent = 0;
    uint32 profileOffset = 0;  // from the start of the info header
    uint32 profileSize = 0;
};

bool IsKnownHeaderSize(uint32 size) {
    return size == kCoreHeaderSize || (size >= 16 && size <= kLargestHeader);
}

// The fields of the info header (`info`, zero past its declared size): the picture's size
// and orientation, its depth and compression, the palette's size.
status_t ReadInfoHeader(const uint8* info, BMPHeader* h) {
    int64 width;
    int64 height;
    uint16 planes;
    if (h->headerSize == kCoreHeaderSize) {
        width = ReadLE16(info + 4);
        height = int16(ReadLE16(info + 6));
        planes = ReadLE16(info + 8);
        h->bitCount = ReadLE16(info + 10);
        h->paletteEntryBytes = 3;
    } else {
        // Shorter OS/2 2.x headers leave the later fields zero, which reads as their
        // defaults.
        width = int32(ReadLE32(info + 4));
        height = int32(ReadLE32(info + 8));
        planes = ReadLE16(info + 12);
        h->bitCount = ReadLE16(info + 14);
        h->compression = ReadLE32(info + 16);
        h->xPixelsPerMetre = int32(ReadLE32(info + 24));
        h->yPixelsPerMetre = int32(ReadLE32(info + 28));
        h->paletteEntries = ReadLE32(info + 32);
        // The colour space and profile fields, zero past a shorter header; OS/2's 64-byte
        // header has other fields there.
        if (h->headerSize >= kV4HeaderSize) {
            h->colourSpace = ReadLE32(info + 56);
            h->intent = ReadLE32(info + 108);
            h->profileOffset = ReadLE32(info + 112);
            h->profileSize = ReadLE32(info + 116);
        }
    }
    if (planes != 1) {
        return Fail(B_BAD_DATA, "en-tête BMP invalide");
    }
    h->topDown = height < 0;
    if (width <= 0 || height == 0) {
        return Fail(B_BAD_DATA, "dimensions BMP invalides");
    }
    // Past the limit we check next; keeps the cast below exact.
    if (width > INT32_MAX || -height > INT32_MAX) {
        return Fail(B_BAD_VALUE, "image trop grande");
    }
    h->width = uint32(width);
    h->height = uint32(height < 0 ? -height : height);
    return B_OK;
}

// Is the compression one we read, with a depth it allows?
status_t CheckCompression(const BMPHeader& h) {
    // The OS/2 2.x header gives compression 3 and 4 other meanings (Huffman, RLE24).
    const bool os2 = h.headerSize != kInfoHeaderSize && h.headerSize != 52 && h.headerSize != 56 &&
                     h.headerSize != kV4HeaderSize && h.headerSize != kLargestHeader;
    switch (h.compression) {
        case kRGB:
            if (h.bitCount != 1 && h.bitCount != 2 && h.bitCount != 4 && h.bitCount != 8 &&
                h.bitCount != 16 && h.bitCount != 24 && h.bitCount != 32) {
                return Fail(B_BAD_DATA, "profondeur BMP invalide");
            }
            return B_OK;
        case kRLE8:
        case kRLE4:
            if (h.bitCount != (h.compression == kRLE8 ? 8 : 4) || h.topDown) {
                return Fail(B_BAD_DATA, "en-tête BMP RLE invalide");
            }
            return B_OK;
        case kBitFields:
        case kAlphaBitFields:
            if (os2) {
                return Fail(B_UNSUPPORTED, "compression BMP d'OS/2 non prise en charge");
            }
            if (h.bitCount != 16 && h.bitCount != 32) {
                return Fail(B_BAD_DATA, "profondeur BMP invalide");
            }
            return B_OK;
        case kJPEG:
        case kPNG:
            return Fail(B_UNSUPPORTED, "BMP contenant du JPEG ou du PNG non pris en charge");
        default:
            return Fail(B_UNSUPPORTED, "compression BMP inconnue");
    }
}

// The colour masks: from the header or right after it for bit fields, the format's fixed
// ones otherwise. *afterHeader moves past masks stored after the header.
status_t ReadMasks(BPositionIO& source, const uint8* info, BMPHeader* h, off_t* afterHeader) {
    if (h->compression == kBitFields || h->compression == kAlphaBitFields) {
        const uint32 count = h->compression == kAlphaBitFields ? 4 : 3;
        if (h->headerSize >= kInfoHeaderSize + 12) {
            // Version 2 and later headers hold the masks; from version 3 on, alpha too.
            const uint32 inHeader = h->headerSize >= kInfoHeaderSize + 16 ? 4 : 3;
            for (uint32 i = 0; i < inHeader; i++) {
                h->masks[i] = ReadLE32(info + kInfoHeaderSize + i * 4);
            }
            return B_OK;
        }
        // A plain info header is followed by the masks.
        uint8 masks[16];
        if (source.ReadAtExactly(*afterHeader, masks, count * 4) != B_OK) {
            return Fail(B_BAD_DATA, "masques BMP tronqués");
        }
        for (uint32 i = 0; i < count; i++) {
            h->masks[i] = ReadLE32(masks + i * 4);
        }
        *afterHeader += count * 4;
    } else if (h->bitCount == 16) {
        h->masks[0] = 0x7c00;
        h->masks[1] = 0x03e0;
        h->masks[2] = 0x001f;
    } else if (h->bitCount == 32) {
        // In plain 32-bit rows the fourth byte is unused: many writers leave garbage there.
        h->masks[0] = 0xff0000;
        h->masks[1] = 0x00ff00;
        h->masks[2] = 0x0000ff;
    }
    return B_OK;
}

// Where the palette lies (right after the header and its masks) and how many colours of
// it can be read before the pixels.
void PlacePalette(off_t afterHeader, BMPHeader* h) {
    if (h->bitCount > 8) {
        h->paletteEntries = 0;
        return;
    }
    const uint32 largest = 1u << h->bitCount;
    if (h->paletteEntries == 0 || h->paletteEntries > largest) {
        h->paletteEntries = largest;
    }
    // Some writers count more colours than they store before the pixels.
    if (h->dataOffset >= afterHeader) {
        h->paletteEntries = std::min<uint64>(h->paletteEntries,
                                             (h->dataOffset - afterHeader) / h->paletteEntryBytes);
    }
    h->paletteOffset = afterHeader;
}

// B_NO_TRANSLATOR when the stream is not a BMP; B_BAD_DATA, B_UNSUPPORTED with a reason
// when it is one that cannot be read.
status_t ReadHeader(BPositionIO& source, BMPHeader* h) {
    uint8 b[kFileHeaderSize + kLargestHeader] = {};
    ssize_t got = source.ReadAt(0, b, sizeof(b));
    if (got < ssize_t(kFileHeaderSize + 4) || b[0] != 'B' || b[1] != 'M') {
        return B_NO_TRANSLATOR;
    }
    h->dataOffset = ReadLE32(b + 10);
    h->headerSize = ReadLE32(b + 14);
    if (!IsKnownHeaderSize(h->headerSize)) {
        return B_NO_TRANSLATOR;
    }
    if (got < ssize_t(kFileHeaderSize + h->headerSize)) {
        return Fail(B_BAD_DATA, "en-tête BMP tronqué");
    }
    // What follows a short header is the palette or the pixels, not header fields.
    std::memset(b + kFileHeaderSize + h->headerSize, 0, kLargestHeader - h->headerSize);
    const uint8* info = b + kFileHeaderSize;
    if (status_t status = ReadInfoHeader(info, h); status != B_OK) {
        return status;
    }
    if (status_t status = CheckCompression(*h); status != B_OK) {
        return status;
    }
    off_t afterHeader = off_t(kFileHeaderSize) + h->headerSize;
    if (status_t status = ReadMasks(source, info, h, &afterHeader); status != B_OK) {
        return status;
    }
    PlacePalette(afterHeader, h);
    if (h->dataOffset < kFileHeaderSize + kCoreHeaderSize) {
        return Fail(B_BAD_DATA, "position des pixels BMP invalide");
    }
    return B_OK;
}

// One colour channel of a bit field: its place and a table from its values to 0..255.
struct Channel {
    uint32 mask = 0;
    uint32 shift = 0;
    std::vector<uint8> table;  // empty when the mask is zero

    status_t Set(uint32 m) {
        mask = m;
        if (m == 0) {
            return B_OK;
        }
        shift = uint32(std::countr_zero(m));
        const uint32 bits = uint32(std::popcount(m));
        if (bits > 16 || std::countl_zero(m) + bits + shift != 32) {
            return Fail(B_BAD_DATA, "masque de couleur BMP invalide");
        }
        const uint32 largest = (1u << bits) - 1;
        table.resize(largest + 1);
        for (uint32 v = 0; v <= largest; v++) {
            table[v] = uint8((v * 255 + largest / 2) / largest);
        }
        return B_OK;
    }

    uint8 Get(uint32 pixel, uint8 absent) const {
        return mask ? table[(pixel & mask) >> shift] : absent;
    }
};

struct RowDecoder {
    const BMPHeader& header;
    std::vector<uint8> palette;  // 256 entries, blue, green, red, alpha
    Channel channels[4];

    void Convert(const uint8* in, uint8* out) const {
        const uint32 width = header.width;
        switch (header.bitCount) {
            case 1:
            case 2:
            case 4:
            case 8: {
                const uint32 bits = header.bitCount;
                const uint32 perByte = 8 / bits;
                const uint32 valueMask = (1u << bits) - 1;
                for (uint32 x = 0; x < width; x++, out += 4) {
                    uint32 shift = 8 - bits - (x % perByte) * bits;
                    uint32 index = (in[x / perByte] >> shift) & valueMask;
                    std::memcpy(out, &palette[index * 4], 4);
                }
                break;
            }
            case 24:
                for (uint32 x = 0; x < width; x++, in += 3, out += 4) {
                    out[0] = in[0];
                    out[1] = in[1];
                    out[2] = in[2];
                    out[3] = 255;
                }
                break;
            default: {
                const uint32 bytes = header.bitCount / 8;
                for (uint32 x = 0; x < width; x++, in += bytes, out += 4) {
                    uint32 v = bytes == 2 ? ReadLE16(in) : ReadLE32(in);
                    out[0] = channels[2].Get(v, 0);
                    out[1] = channels[1].Get(v, 0);
                    out[2] = channels[0].Get(v, 0);
                    out[3] = channels[3].Get(v, 255);
                }
                break;
            }
        }
    }
};

status_t ReadPalette(BPositionIO& source, const BMPHeader& h, std::vector<uint8>* palette) {
    // Indices past the stored colours read as opaque black.
    palette->assign(256 * 4, 0);
    for (size_t i = 0; i < 256; i++) {
        (*palette)[i * 4 + 3] = 255;
    }
    std::vector<uint8> raw(size_t(h.paletteEntries) * h.paletteEntryBytes);
    if (source.ReadAtExactly(h.paletteOffset, raw.data(), raw.size()) != B_OK) {
        return Fail(B_BAD_DATA, "palette BMP tronquée");
    }
    for (size_t i = 0; i < h.paletteEntries; i++) {
        std::memcpy(&(*palette)[i * 4], &raw[i * h.paletteEntryBytes], 3);
    }
    return B_OK;
}

uint8* BitmapRow(BBitmap& bitmap, uint32 y) {
    return static_cast<uint8*>(bitmap.Bits()) + size_t(y) * bitmap.BytesPerRow();
}

status_t DecodeRows(BPositionIO& source, const BMPHeader& h, const RowDecoder& decoder,
                    off_t fileSize, BBitmap& bitmap) {
    const uint64 used = (uint64(h.width) * h.bitCount + 7) / 8;
    const uint64 stride = (used + 3) & ~uint64(3);
    // The last row may lack its padding: files cut right after the pixels are common.
    const uint64 end = h.dataOffset + stride * (h.height - 1) + used;
    if (end > uint64(fileSize)) {
        return Fail(B_BAD_DATA, "fichier BMP tronqué");
    }
    std::vector<uint8> row(used);
    for (uint32 r = 0; r < h.height; r++) {
        if (source.ReadAtExactly(off_t(h.dataOffset + stride * r), row.data(), used) != B_OK) {
            return Fail(B_BAD_DATA, "fichier BMP illisible");
        }
        decoder.Convert(row.data(), BitmapRow(bitmap, h.topDown ? r : h.height - 1 - r));
    }
    return B_OK;
}

// Expands RLE8 or RLE4 data straight into the bitmap, rows from the bottom up. Pixels the
// data skips keep the first colour of the palette; anything pointing outside the picture
// is dropped.
status_t ExpandRLE(const uint8* data, size_t size, const BMPHeader& h,
                   const std::vector<uint8>& palette, BBitmap& bitmap) {
    const bool rle4 = h.compression == kRLE4;
    const uint64 width = h.width;
    uint32 first;
    std::memcpy(&first, palette.data(), 4);
    std::fill_n(static_cast<uint32*>(bitmap.Bits()), size_t(width) * h.height, first);
    uint64 x = 0;
    uint64 y = 0;
    uint8* row = BitmapRow(bitmap, h.height - 1);
    auto put = [&](uint32 index) {
        if (x < width) {
            std::memcpy(row + x * 4, &palette[index * 4], 4);
        }
        x = std::min(x + 1, width);
    };
    auto nextRows = [&](uint64 count) {
        y += count;
        if (y < h.height) {
            row = BitmapRow(bitmap, uint32(h.height - 1 - y));
        }
    };
    size_t p = 0;
    while (y < h.height) {
        if (size - p < 2) {
            return Fail(B_BAD_DATA, "données BMP RLE tronquées");
        }
        const uint8 count = data[p];
        const uint8 value = data[p + 1];
        p += 2;
        if (count > 0) {
            for (uint32 i = 0; i < count; i++) {
                put(rle4 ? ((i & 1) ? value & 15 : value >> 4) : value);
            }
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            nextRows(1);
        } else if (value == 1) {  // end of picture
            break;
        } else if (value == 2) {  // move right and up
            if (size - p < 2) {
                return Fail(B_BAD_DATA, "données BMP RLE tronquées");
            }
            x = std::min(x + data[p], width);
            nextRows(data[p + 1]);
            p += 2;
        } else {  // `value` literal pixels, padded to an even number of bytes
            const size_t bytes = rle4 ? (value + 1u) / 2 : value;
            if (size - p < bytes) {
                return Fail(B_BAD_DATA, "données BMP RLE tronquées");
            }
            for (uint32 i = 0; i < value; i++) {
                put(rle4 ? ((i & 1) ? data[p + i / 2] & 15 : data[p + i / 2] >> 4) : data[p + i]);
            }
            p += std::min(size - p, bytes + (bytes & 1));
        }
    }
    return B_OK;
}

status_t DecodeRLE(BPositionIO& source, const BMPHeader& h, const RowDecoder& decoder,
                   off_t fileSize, BBitmap& bitmap) {
    if (uint64(fileSize) <= h.dataOffset) {
        return Fail(B_BAD_DATA, "fichier BMP tronqué");
    }
    // Each code covers at least one pixel or ends a row, except moves by zero; data past
    // what a picture of this size can use is not read.
    const uint64 useful = 4 * (uint64(h.width) * h.height) + 4 * uint64(h.height) + 2;
    const size_t size = size_t(std::min<uint64>(uint64(fileSize) - h.dataOffset, useful));
    std::vector<uint8> data(size);
    if (source.ReadAtExactly(h.dataOffset, data.data(), size) != B_OK) {
        return Fail(B_BAD_DATA, "fichier BMP illisible");
    }
    return ExpandRLE(data.data(), size, h, decoder.palette, bitmap);
}

// What the header says of the colours beside the pixels, and the resolution. A profile
// the file names but does not hold (linked by a file name on the machine that wrote it)
// cannot be reached here: such colours are taken as sRGB, as when nothing is said.
status_t ReadDescription(BPositionIO& source, const BMPHeader& h, off_t fileSize,
                         PictureMetadata* metadata, std::string* damage) {
    if (h.xPixelsPerMetre > 0 && h.yPixelsPerMetre > 0) {
        metadata->xDpi = h.xPixelsPerMetre * kMetresPerInch;
        metadata->yDpi = h.yPixelsPerMetre * kMetresPerInch;
    }
    ColorDescription& color = metadata->color;
    if (h.colourSpace == kSRGBColourSpace || h.colourSpace == kWindowsColourSpace) {
        color.srgb = true;
    } else if (h.colourSpace == kEmbeddedProfile && h.profileSize > 0) {
        if (status_t status = CheckMetadataSize(h.profileSize, "profil ICC du BMP");
            status != B_OK) {
            return status;
        }
        const uint64 start = kFileHeaderSize + uint64(h.profileOffset);
        if (start + h.profileSize > uint64(fileSize)) {
            *damage = "fichier tronqué : le profil de couleurs manque";
            return B_OK;
        }
        color.icc.resize(h.profileSize);
        if (source.ReadAtExactly(off_t(start), color.icc.data(), color.icc.size()) != B_OK) {
            return Fail(B_IO_ERROR, "fichier BMP illisible");
        }
    }
    // The header's intents, as Windows names them, and their ICC numbers.
    switch (h.intent) {
        case 1:  // LCS_GM_BUSINESS
            color.renderingIntent = 2;
            break;
        case 2:  // LCS_GM_GRAPHICS
            color.renderingIntent = 1;
            break;
        case 8:  // LCS_GM_ABS_COLORIMETRIC
            color.renderingIntent = 3;
            break;
        default:  // LCS_GM_IMAGES, perceptual
            break;
    }
    return B_OK;
}

// A picture with an alpha mask whose alpha is zero everywhere was written by a program
// that filled the mask but not the channel: shown as declared it would be invisible.
status_t DropEmptyAlpha(std::unique_ptr<BBitmap>* image) {
    BBitmap& bitmap = **image;
    const uint8* bits = static_cast<const uint8*>(bitmap.Bits());
    const size_t count = size_t(bitmap.PixelWidth()) * bitmap.PixelHeight();
    for (size_t i = 0; i < count; i++) {
        if (bits[i * 4 + 3] != 0) {
            return B_OK;
        }
    }
    std::unique_ptr<BBitmap> opaque;
    status_t status = NewImage(bitmap.PixelWidth(), bitmap.PixelHeight(), false, &opaque);
    if (status != B_OK) {
        return status;
    }
    uint8* out = static_cast<uint8*>(opaque->Bits());
    for (size_t i = 0; i < count; i++) {
        std::memcpy(out + i * 4, bits + i * 4, 3);
        out[i * 4 + 3] = 255;
    }
    *image = std::move(opaque);
    return B_OK;
}

// Pixels per metre for a resolution in pixels per inch; 0 (unstated) when it has none.
uint32 PixelsPerMetre(double dpi) {
    const double perMetre = std::round(dpi / kMetresPerInch);
    return perMetre >= 1 && perMetre <= double(INT32_MAX) ? uint32(perMetre) : 0;
}

// The header's name for an ICC rendering intent.
uint32 WindowsIntent(int32 intent) {
    switch (intent) {
        case 1:
            return 2;  // LCS_GM_GRAPHICS
        case 2:
            return 1;  // LCS_GM_BUSINESS
        case 3:
            return 8;  // LCS_GM_ABS_COLORIMETRIC
        default:
            return kPerceptualIntent;
    }
}

}  // namespace

BMPTranslator::BMPTranslator() : ImageTranslator(kDescription) {}

status_t BMPTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    BMPHeader header;
    status_t status = ReadHeader(source, &header);
    ClearErrorReason();
    if (status != B_OK) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t BMPTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    BMPHeader h;
    status_t status = ReadHeader(source, &h);
    if (status == B_NO_TRANSLATOR) {
        return Fail(B_NO_TRANSLATOR, "ce n'est pas une image BMP");
    }
    if (status != B_OK) {
        return status;
    }
    if ((status = CheckImageSize(h.width, h.height)) != B_OK) {
        return status;
    }
    off_t fileSize = 0;
    if ((status = source.GetSize(&fileSize)) != B_OK) {
        return Fail(status, "taille du fichier BMP illisible");
    }

    RowDecoder decoder{h, {}, {}};
    if (h.bitCount <= 8 && (status = ReadPalette(source, h, &decoder.palette)) != B_OK) {
        return status;
    }
    for (int i = 0; i < 4; i++) {
        if ((status = decoder.channels[i].Set(h.masks[i])) != B_OK) {
            return status;
        }
    }

    std::string damage;
    if ((status = ReadDescription(source, h, fileSize, &decoded->info.metadata, &damage)) != B_OK) {
        return status;
    }

    const bool alpha = h.masks[3] != 0;
    if ((status = NewImage(h.width, h.height, alpha, image)) != B_OK) {
        return status;
    }
    status = h.compression == kRLE8 || h.compression == kRLE4
                 ? DecodeRLE(source, h, decoder, fileSize, **image)
                 : DecodeRows(source, h, decoder, fileSize, **image);
    if (status == B_OK && alpha) {
        status = DropEmptyAlpha(image);
    }
    if (status != B_OK) {
        image->reset();
        return status;
    }
    decoded->damage = std::move(damage);
    return B_OK;
}

status_t BMPTranslator::EncodePicture(const BBitmap& image, const PictureInfo& description,
                                      uint32 outType, BPositionIO& destination) {
    status_t status = CheckEncodeRequest(image, outType, kFormats, "BMP");
    if (status != B_OK) {
        return status;
    }
    const std::vector<uint8>& profile = description.metadata.color.icc;
    if ((status = CheckMetadataSize(profile.size(), "profil ICC")) != B_OK) {
        return status;
    }
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();

    const bool transparent = HasTransparency(image);
    const bool alpha = transparent && !Settings().Bool(kFlattenAlphaName);
    // The plain header where it says enough, for the many readers that know no other; the
    // version 4 one for alpha, and the version 5 one to hold a profile.
    const uint32 infoSize = !profile.empty() ? kLargestHeader
                            : alpha          ? kV4HeaderSize
                                             : kInfoHeaderSize;
    const uint32 stride = alpha ? width * 4 : (width * 3 + 3) & ~3u;
    const uint32 dataOffset = kFileHeaderSize + infoSize;
    // At most 2^28 pixels of 4 bytes and a profile of 16 MB: the sizes fit the 32-bit fields.
    const uint32 dataSize = stride * height;
    const uint32 profileSize = uint32(profile.size());

    uint8 header[kFileHeaderSize + kLargestHeader] = {};
    header[0] = 'B';
    header[1] = 'M';
    WriteLE32(header + 2, dataOffset + dataSize + profileSize);
    WriteLE32(header + 10, dataOffset);
    uint8* info = header + kFileHeaderSize;
    WriteLE32(info, infoSize);
    WriteLE32(info + 4, width);
    WriteLE32(info + 8, height);  // positive: rows from the bottom up, as every reader expects
    WriteLE16(info + 12, 1);
    WriteLE16(info + 14, alpha ? 32 : 24);
    WriteLE32(info + 16, alpha ? kBitFields : kRGB);
    WriteLE32(info + 20, dataSize);
    WriteLE32(info + 24, PixelsPerMetre(description.metadata.xDpi));
    WriteLE32(info + 28, PixelsPerMetre(description.metadata.yDpi));
    if (alpha) {
        // Our rows are already these little-endian words.
        WriteLE32(info + 40, 0x00ff0000);
        WriteLE32(info + 44, 0x0000ff00);
        WriteLE32(info + 48, 0x000000ff);
        WriteLE32(info + 52, 0xff000000);
    }
    if (infoSize >= kV4HeaderSize) {
        WriteLE32(info + 56, profile.empty() ? kSRGBColourSpace : kEmbeddedProfile);
    }
    if (!profile.empty()) {
        // The profile follows the pixels; its place counts from the info header.
        WriteLE32(info + 108, WindowsIntent(description.metadata.color.renderingIntent));
        WriteLE32(info + 112, infoSize + dataSize);
        WriteLE32(info + 116, profileSize);
    }
    if ((status = destination.WriteExactly(header, dataOffset)) != B_OK) {
        return Fail(status, "écriture du fichier BMP impossible");
    }

    std::vector<uint8> row(alpha ? 0 : stride, 0);
    for (uint32 r = 0; r < height; r++) {
        const uint8* in =
            static_cast<const uint8*>(image.Bits()) + size_t(height - 1 - r) * image.BytesPerRow();
        if (!alpha) {
            RowToRGB(in, row.data(), width, transparent);
            for (uint32 x = 0; x < width; x++) {
                std::swap(row[x * 3], row[x * 3 + 2]);
            }
            in = row.data();
        }
        if ((status = destination.WriteExactly(in, stride)) != B_OK) {
            return Fail(status, "écriture du fichier BMP impossible");
        }
    }
    if (!profile.empty() &&
        (status = destination.WriteExactly(profile.data(), profile.size())) != B_OK) {
        return Fail(status, "écriture du fichier BMP impossible");
    }
    return B_OK;
}

}  // namespace orv
