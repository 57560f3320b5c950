// SPDX-License-Identifier: MIT
#include "translators/tga/TGATranslator.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"

namespace orv {
namespace {

// TGA has no signature, so a stream is only recognised by a plausible header: the
// translator gives way to any format that can be told apart for sure.
constexpr translation_format kFormats[] = {
    {FourCC("TGA "), B_TRANSLATOR_BITMAP, 0.7f, 0.6f, "image/x-tga", "Image TGA"},
};

constexpr SettingSchema kSettings[] = {
    {"rle", SettingSchema::Kind::Bool, "Compression RLE", 1},
};

constexpr TranslatorDescription kDescription = {
    "Images TGA", "Images Truevision TGA : palette, couleurs vraies, gris, RLE",
    100,          "tga",
    kFormats,     kFormats,
    kSettings,
};

constexpr size_t kHeaderSize = 18;
constexpr uint8 kDescriptorRightToLeft = 0x10;
constexpr uint8 kDescriptorTopToBottom = 0x20;
constexpr char kFooterSignature[18] = "TRUEVISION-XFILE.";  // with its final NUL

enum ImageType : uint8 {
    kMapped = 1,
    kTrueColour = 2,
    kGrey = 3,
    kMappedRLE = 9,
    kTrueColourRLE = 10,
    kGreyRLE = 11,
};

struct TGAHeader {
    uint8 idLength;
    uint8 mapType;
    uint8 imageType;
    uint16 mapFirst;
    uint16 mapLength;
    uint8 mapEntryBits;
    uint16 width;
    uint16 height;
    uint8 pixelBits;
    uint8 descriptor;

    uint8 BaseType() const { return imageType & 7; }
    bool IsRLE() const { return imageType & 8; }
    uint32 PixelBytes() const { return (pixelBits + 7) / 8; }
    uint32 MapEntryBytes() const { return (mapEntryBits + 7) / 8; }
    uint8 AlphaBits() const { return descriptor & 0x0f; }
};

bool IsColourDepth(uint8 bits) {
    return bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

// B_NO_TRANSLATOR when the 18 bytes cannot be a TGA header.
status_t ReadHeader(BPositionIO& source, TGAHeader* header) {
    uint8 b[kHeaderSize];
    if (source.ReadAt(0, b, kHeaderSize) != ssize_t(kHeaderSize)) {
        return B_NO_TRANSLATOR;
    }
    *header = {b[0],
               b[1],
               b[2],
               ReadLE16(b + 3),
               ReadLE16(b + 5),
               b[7],
               ReadLE16(b + 12),
               ReadLE16(b + 14),
               b[16],
               b[17]};
    const TGAHeader& h = *header;
    if (h.mapType > 1 || (h.descriptor & 0xc0) != 0 || h.AlphaBits() > 8) {
        return B_NO_TRANSLATOR;
    }
    if (h.mapType == 1 && (!IsColourDepth(h.mapEntryBits) || h.mapLength == 0)) {
        return B_NO_TRANSLATOR;
    }
    switch (h.BaseType()) {
        case kMapped:
            if (h.mapType != 1 || (h.pixelBits != 8 && h.pixelBits != 16)) {
                return B_NO_TRANSLATOR;
            }
            break;
        case kTrueColour:
            if (!IsColourDepth(h.pixelBits)) {
                return B_NO_TRANSLATOR;
            }
            break;
        case kGrey:
            if (h.pixelBits != 8 && h.pixelBits != 16) {
                return B_NO_TRANSLATOR;
            }
            break;
        default:
            return B_NO_TRANSLATOR;
    }
    if ((h.imageType & ~uint8(8)) != h.BaseType()) {
        return B_NO_TRANSLATOR;
    }
    return B_OK;
}

// Reads the stream forward from an offset through a buffer: run-length packets come a
// byte or a pixel at a time.
class ForwardReader {
public:
    ForwardReader(BPositionIO& source, off_t position)
        : fSource(source), fPosition(position), fBuffer(64 * 1024) {}

    status_t Read(uint8* out, size_t size) {
        while (size > 0) {
            if (fStart == fEnd) {
                ssize_t got = fSource.ReadAt(fPosition, fBuffer.data(), fBuffer.size());
                if (got <= 0) {
                    return Fail(got < 0 ? status_t(got) : B_BAD_DATA, "fichier TGA tronqué");
                }
                fPosition += got;
                fStart = 0;
                fEnd = size_t(got);
            }
            size_t n = std::min(size, fEnd - fStart);
            std::memcpy(out, fBuffer.data() + fStart, n);
            fStart += n;
            out += n;
            size -= n;
        }
        return B_OK;
    }

private:
    BPositionIO& fSource;
    off_t fPosition;
    std::vector<uint8> fBuffer;
    size_t fStart = 0;
    size_t fEnd = 0;
};

// A run-length packet may go on into the next row; what is left of it is kept here.
struct PacketState {
    uint32 left = 0;
    bool repeat = false;
    uint8 pixel[4] = {};
};

status_t ExpandRLE(ForwardReader& reader, PacketState& state, uint8* row, uint32 width,
                   uint32 pixelBytes) {
    for (uint32 x = 0; x < width; x++, row += pixelBytes) {
        status_t status;
        if (state.left == 0) {
            uint8 head = 0;
            if ((status = reader.Read(&head, 1)) != B_OK) {
                return status;
            }
            state.left = (head & 0x7f) + 1u;
            state.repeat = head & 0x80;
            if (state.repeat && (status = reader.Read(state.pixel, pixelBytes)) != B_OK) {
                return status;
            }
        }
        if (state.repeat) {
            std::memcpy(row, state.pixel, pixelBytes);
        } else if ((status = reader.Read(row, pixelBytes)) != B_OK) {
            return status;
        }
        state.left--;
    }
    return B_OK;
}

uint8 Expand5(uint32 v) {
    return uint8((v << 3) | (v >> 2));
}

// One pixel of 15, 16, 24 or 32 bits (little-endian B, G, R[, A]) as blue, green, red,
// alpha bytes.
void ColourToBGRA(const uint8* in, uint32 bits, bool alpha, uint8* out) {
    if (bits <= 16) {
        uint32 v = ReadLE16(in);
        out[0] = Expand5(v & 31);
        out[1] = Expand5((v >> 5) & 31);
        out[2] = Expand5((v >> 10) & 31);
        out[3] = (!alpha || (v & 0x8000)) ? 255 : 0;
    } else {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = (bits == 32 && alpha) ? in[3] : 255;
    }
}

struct Layout {
    const TGAHeader& header;
    bool alpha;
    const std::vector<uint8>& palette;  // 4 bytes per entry, blue, green, red, alpha
};

void ConvertRow(const Layout& layout, const uint8* in, uint8* out, uint32 width) {
    const TGAHeader& h = layout.header;
    const uint32 pixelBytes = h.PixelBytes();
    switch (h.BaseType()) {
        case kMapped: {
            const size_t entries = layout.palette.size() / 4;
            for (uint32 x = 0; x < width; x++, in += pixelBytes, out += 4) {
                size_t index = pixelBytes == 1 ? in[0] : ReadLE16(in);
                if (index < entries) {
                    std::memcpy(out, layout.palette.data() + index * 4, 4);
                } else {
                    out[0] = out[1] = out[2] = 0;
                    out[3] = 255;
                }
            }
            break;
        }
        case kGrey:
            for (uint32 x = 0; x < width; x++, in += pixelBytes, out += 4) {
                out[0] = out[1] = out[2] = in[0];
                out[3] = layout.alpha ? in[1] : 255;
            }
            break;
        default:
            for (uint32 x = 0; x < width; x++, in += pixelBytes, out += 4) {
                ColourToBGRA(in, h.pixelBits, layout.alpha, out);
            }
            break;
    }
}

// The alpha bits of the descriptor say whether the pixels carry alpha; only 16 and 32-bit
// colours (and grey with a second byte) have room for it.
bool HasAlpha(const TGAHeader& h) {
    if (h.AlphaBits() == 0) {
        return false;
    }
    uint8 bits = h.BaseType() == kMapped ? h.mapEntryBits : h.pixelBits;
    return bits == 16 || bits == 32;
}

// The colour map as blue, green, red, alpha entries indexed from 0: entries before the
// map's first index stay opaque black.
status_t ReadPalette(BPositionIO& source, const TGAHeader& h, off_t offset, bool alpha,
                     std::vector<uint8>* palette) {
    const size_t entryBytes = h.MapEntryBytes();
    std::vector<uint8> raw(size_t(h.mapLength) * entryBytes);
    if (source.ReadAtExactly(offset, raw.data(), raw.size()) != B_OK) {
        return Fail(B_BAD_DATA, "palette TGA tronquée");
    }
    palette->assign((size_t(h.mapFirst) + h.mapLength) * 4, 0);
    for (size_t i = 0; i < h.mapFirst; i++) {
        (*palette)[i * 4 + 3] = 255;
    }
    for (size_t i = 0; i < h.mapLength; i++) {
        ColourToBGRA(raw.data() + i * entryBytes, h.mapEntryBits, alpha,
                     palette->data() + (h.mapFirst + i) * 4);
    }
    return B_OK;
}

void ReverseRow(uint8* row, uint32 width) {
    uint32* pixels = reinterpret_cast<uint32*>(row);
    std::reverse(pixels, pixels + width);
}

// Run-length packets of one row of `pixelBytes`-byte pixels: runs of two or more equal
// pixels repeat, everything else goes out raw, at most 128 pixels a packet. Rows are
// encoded on their own, as the format recommends.
size_t EncodeRLE(const uint8* row, uint32 width, uint32 pixelBytes, uint8* out) {
    uint8* start = out;
    auto same = [&](uint32 a, uint32 b) {
        return std::memcmp(row + a * pixelBytes, row + b * pixelBytes, pixelBytes) == 0;
    };
    uint32 x = 0;
    while (x < width) {
        uint32 run = 1;
        while (x + run < width && run < 128 && same(x, x + run)) {
            run++;
        }
        if (run > 1) {
            *out++ = uint8(0x80 | (run - 1));
            std::memcpy(out, row + x * pixelBytes, pixelBytes);
            out += pixelBytes;
            x += run;
            continue;
        }
        uint32 count = 1;
        while (x + count < width && count < 128 &&
               !(x + count + 1 < width && same(x + count, x + count + 1))) {
            count++;
        }
        *out++ = uint8(count - 1);
        std::memcpy(out, row + x * pixelBytes, size_t(count) * pixelBytes);
        out += size_t(count) * pixelBytes;
        x += count;
    }
    return size_t(out - start);
}

}  // namespace

TGATranslator::TGATranslator() : ImageTranslator(kDescription) {}

status_t TGATranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    TGAHeader header;
    if (ReadHeader(source, &header) != B_OK || header.width == 0 || header.height == 0) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t TGATranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    TGAHeader h;
    if (ReadHeader(source, &h) != B_OK) {
        return Fail(B_NO_TRANSLATOR, "en-tête TGA invalide");
    }
    status_t status = CheckImageSize(h.width, h.height);
    if (status != B_OK) {
        return status;
    }

    const bool alpha = HasAlpha(h);
    off_t offset = off_t(kHeaderSize) + h.idLength;
    std::vector<uint8> palette;
    if (h.mapType == 1) {
        if (h.BaseType() == kMapped &&
            (status = ReadPalette(source, h, offset, alpha, &palette)) != B_OK) {
            return status;
        }
        offset += off_t(h.mapLength) * h.MapEntryBytes();
    }

    // The fewest bytes the pixels can take, raw or in full 128-pixel runs: a file shorter
    // than that is cut short, and is refused before the bitmap is allocated.
    const uint32 pixelBytes = h.PixelBytes();
    const uint64 pixels = uint64(h.width) * h.height;
    const uint64 fewest = h.IsRLE() ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    off_t size = 0;
    if ((status = source.GetSize(&size)) != B_OK) {
        return Fail(status, "taille du fichier TGA illisible");
    }
    if (size < offset || uint64(size - offset) < fewest) {
        return Fail(B_BAD_DATA, "fichier TGA tronqué");
    }

    if ((status = NewImage(h.width, h.height, alpha, image)) != B_OK) {
        return status;
    }
    BBitmap& bitmap = **image;
    const Layout layout{h, alpha, palette};
    std::vector<uint8> raw(size_t(h.width) * pixelBytes);
    ForwardReader reader(source, offset);
    PacketState packet;
    for (uint32 r = 0; r < h.height; r++) {
        status = h.IsRLE() ? ExpandRLE(reader, packet, raw.data(), h.width, pixelBytes)
                           : reader.Read(raw.data(), raw.size());
        if (status != B_OK) {
            image->reset();
            return status;
        }
        const uint32 y = (h.descriptor & kDescriptorTopToBottom) ? r : h.height - 1 - r;
        uint8* row = static_cast<uint8*>(bitmap.Bits()) + size_t(y) * bitmap.BytesPerRow();
        ConvertRow(layout, raw.data(), row, h.width);
        if (h.descriptor & kDescriptorRightToLeft) {
            ReverseRow(row, h.width);
        }
    }
    return B_OK;
}

status_t TGATranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                      BPositionIO& destination) {
    status_t status = CheckEncodeRequest(image, outType, kFormats, "TGA");
    if (status != B_OK) {
        return status;
    }
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();

    const bool alpha = HasTransparency(image);
    const bool rle = Settings().Bool("rle");
    const uint32 pixelBytes = alpha ? 4 : 3;

    uint8 header[kHeaderSize] = {};
    header[2] = rle ? kTrueColourRLE : kTrueColour;
    WriteLE16(header + 12, uint16(width));
    WriteLE16(header + 14, uint16(height));
    header[16] = uint8(pixelBytes * 8);
    header[17] = alpha ? 8 : 0;  // bottom-left origin, the one every reader knows
    if ((status = destination.WriteExactly(header, sizeof(header))) != B_OK) {
        return Fail(status, "écriture du fichier TGA impossible");
    }

    std::vector<uint8> pixels(size_t(width) * pixelBytes);
    // Worst case of the packets: one header byte for every pixel of a raw stretch.
    std::vector<uint8> packets(rle ? size_t(width) * (pixelBytes + 1) : 0);
    for (uint32 r = 0; r < height; r++) {
        const uint8* in =
            static_cast<const uint8*>(image.Bits()) + size_t(height - 1 - r) * image.BytesPerRow();
        const uint8* out = in;
        if (!alpha) {
            for (uint32 x = 0; x < width; x++) {
                std::memcpy(&pixels[size_t(x) * 3], in + size_t(x) * 4, 3);
            }
            out = pixels.data();
        }
        size_t length = size_t(width) * pixelBytes;
        if (rle) {
            length = EncodeRLE(out, width, pixelBytes, packets.data());
            out = packets.data();
        }
        if ((status = destination.WriteExactly(out, length)) != B_OK) {
            return Fail(status, "écriture du fichier TGA impossible");
        }
    }

    // The version 2 footer, with neither extension nor developer area.
    uint8 footer[8 + sizeof(kFooterSignature)] = {};
    std::memcpy(footer + 8, kFooterSignature, sizeof(kFooterSignature));
    if ((status = destination.WriteExactly(footer, sizeof(footer))) != B_OK) {
        return Fail(status, "écriture du fichier TGA impossible");
    }
    return B_OK;
}

}  // namespace orv
