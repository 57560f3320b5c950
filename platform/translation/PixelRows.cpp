// SPDX-License-Identifier: MIT
#include "platform/translation/PixelRows.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

namespace orv {

status_t NewImage(uint32 width, uint32 height, bool alpha, std::unique_ptr<BBitmap>* image,
                  bool cleared) {
    image->reset();
    if (status_t status = CheckImageSize(width, height); status != B_OK) {
        return status;
    }
    const BRect bounds(0, 0, float(width) - 1, float(height) - 1);
    const color_space space = alpha ? B_RGBA32 : B_RGB32;
    auto bitmap = cleared ? std::make_unique<BBitmap>(bounds, space)
                          : std::make_unique<BBitmap>(bounds, space, BBitmap::Uncleared{});
    if (bitmap->InitCheck() != B_OK) {
        return bitmap->InitCheck();
    }
    *image = std::move(bitmap);
    return B_OK;
}

// The loops below index plain arrays with no aliasing between source and target, so that
// the compiler turns each into shuffles over whole vectors; they run once per row of every
// image. Three-byte pixels need byte shuffles that baseline x86-64 lacks, so on x86 each
// kernel is also built for AVX2 and the loader picks the best the processor has.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_ADDRESS__)
#define ORV_ROW_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define ORV_ROW_KERNEL
#endif

ORV_ROW_KERNEL void RGBToRow(const uint8* __restrict rgb, uint8* __restrict bgra, uint32 count) {
    for (size_t i = 0; i < count; ++i) {
        bgra[4 * i + 0] = rgb[3 * i + 2];
        bgra[4 * i + 1] = rgb[3 * i + 1];
        bgra[4 * i + 2] = rgb[3 * i + 0];
        bgra[4 * i + 3] = 255;
    }
}

ORV_ROW_KERNEL void RGBAToRow(const uint8* __restrict rgba, uint8* __restrict bgra, uint32 count) {
    for (size_t i = 0; i < count; ++i) {
        bgra[4 * i + 0] = rgba[4 * i + 2];
        bgra[4 * i + 1] = rgba[4 * i + 1];
        bgra[4 * i + 2] = rgba[4 * i + 0];
        bgra[4 * i + 3] = rgba[4 * i + 3];
    }
}

ORV_ROW_KERNEL void GrayToRow(const uint8* __restrict gray, uint8* __restrict bgra, uint32 count) {
    // One word per pixel (grey in the three colour bytes, opaque alpha) vectorises where
    // byte-wise stores of a broadcast grey do not.
    static_assert(std::endian::native == std::endian::little);
    for (size_t i = 0; i < count; ++i) {
        const uint32 pixel = 0xFF000000u | (uint32(gray[i]) * 0x010101u);
        std::memcpy(bgra + 4 * i, &pixel, 4);
    }
}

ORV_ROW_KERNEL void GrayAlphaToRow(const uint8* __restrict grayAlpha, uint8* __restrict bgra,
                                   uint32 count) {
    for (size_t i = 0; i < count; ++i) {
        const uint8 g = grayAlpha[2 * i];
        bgra[4 * i + 0] = g;
        bgra[4 * i + 1] = g;
        bgra[4 * i + 2] = g;
        bgra[4 * i + 3] = grayAlpha[2 * i + 1];
    }
}

void SamplesToRow(const uint8* samples, uint32 channels, uint8* bgra, uint32 count) {
    switch (channels) {
        case 1:
            GrayToRow(samples, bgra, count);
            break;
        case 2:
            GrayAlphaToRow(samples, bgra, count);
            break;
        case 3:
            RGBToRow(samples, bgra, count);
            break;
        default:
            RGBAToRow(samples, bgra, count);
            break;
    }
}

void RowsToBitmap(const uint8* samples, size_t stride, uint32 channels, BBitmap* image) {
    auto* bits = static_cast<uint8*>(image->Bits());
    for (uint32 y = 0; y < image->PixelHeight(); ++y, samples += stride) {
        SamplesToRow(samples, channels, bits + size_t(y) * image->BytesPerRow(),
                     image->PixelWidth());
    }
}

namespace {

// colour × alpha + white × (255 − alpha), divided by 255 and rounded to nearest: exact
// for every pair of bytes, with no division in the loop.
inline uint8 OverWhite(uint32 colour, uint32 alpha) {
    const uint32 x = colour * alpha + 255 * (255 - alpha) + 128;
    return uint8((x + (x >> 8)) >> 8);
}

}  // namespace

ORV_ROW_KERNEL void RowToRGB(const uint8* __restrict bgra, uint8* __restrict rgb, uint32 count,
                             bool flattenOnWhite) {
    if (flattenOnWhite) {
        for (size_t i = 0; i < count; ++i) {
            const uint32 a = bgra[4 * i + 3];
            rgb[3 * i + 0] = OverWhite(bgra[4 * i + 2], a);
            rgb[3 * i + 1] = OverWhite(bgra[4 * i + 1], a);
            rgb[3 * i + 2] = OverWhite(bgra[4 * i + 0], a);
        }
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        rgb[3 * i + 0] = bgra[4 * i + 2];
        rgb[3 * i + 1] = bgra[4 * i + 1];
        rgb[3 * i + 2] = bgra[4 * i + 0];
    }
}

// Red and blue change places both ways: the swap that reads RGBA rows writes them.
void RowToRGBA(const uint8* bgra, uint8* rgba, uint32 count) {
    RGBAToRow(bgra, rgba, count);
}

void BitmapRowToSamples(const BBitmap& image, uint32 y, bool alpha, uint8* out) {
    const uint8* row = static_cast<const uint8*>(image.Bits()) + size_t(y) * image.BytesPerRow();
    if (alpha) {
        RowToRGBA(row, out, image.PixelWidth());
    } else {
        RowToRGB(row, out, image.PixelWidth(), false);
    }
}

void BitmapToRows(const BBitmap& image, bool alpha, uint8* out, size_t stride) {
    for (uint32 y = 0; y < image.PixelHeight(); ++y, out += stride) {
        BitmapRowToSamples(image, y, alpha, out);
    }
}

bool HasTransparency(const BBitmap& image) {
    if (image.ColorSpace() != B_RGBA32 || image.Bits() == nullptr) {
        return false;
    }
    const auto* bytes = static_cast<const uint8*>(image.Bits());
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();
    const size_t rowBytes = size_t(image.BytesPerRow());
    for (uint32 y = 0; y < height; ++y) {
        const uint8* row = bytes + y * rowBytes;
        // AND of every alpha byte of the row: branch-free, so it vectorises.
        uint8 all = 255;
        for (size_t x = 0; x < width; ++x) {
            all &= row[4 * x + 3];
        }
        if (all != 255) {
            return true;
        }
    }
    return false;
}

bool RowIsGrey(const uint8* bgra, uint32 count) {
    // Blue, green and red come first in memory; a word's shift by a byte lines each up with
    // the next, whose bits the mask keeps. Branch-free, so the compiler vectorises it.
    constexpr uint32 kNeighbours = std::endian::native == std::endian::little ? 0xFFFF : 0xFFFF00;
    uint32 coloured = 0;
    for (uint32 x = 0; x < count; x++) {
        uint32 pixel;
        std::memcpy(&pixel, bgra + size_t(x) * 4, 4);
        coloured |= (pixel ^ (pixel >> 8)) & kNeighbours;
    }
    return coloured == 0;
}

bool IsGrey(const BBitmap& image) {
    if (image.Bits() == nullptr) {
        return false;
    }
    const auto* bytes = static_cast<const uint8*>(image.Bits());
    const size_t rowBytes = size_t(image.BytesPerRow());
    // Stops at the first coloured row, which in a photograph is the first.
    for (uint32 y = 0; y < image.PixelHeight(); ++y) {
        if (!RowIsGrey(bytes + y * rowBytes, image.PixelWidth())) {
            return false;
        }
    }
    return true;
}

OrientedRows::OrientedRows(BBitmap& target, int orientation, uint32 width, uint32 height)
    : fTarget(static_cast<uint32*>(target.Bits())), fWidth(width) {
    const int64 w = width;
    const int64 h = height;
    switch (orientation) {
        case 2:  // mirrored left to right
            fStart = w - 1, fStepX = -1, fStepY = w;
            break;
        case 3:  // turned half a turn
            fStart = (h - 1) * w + w - 1, fStepX = -1, fStepY = -w;
            break;
        case 4:  // mirrored top to bottom
            fStart = (h - 1) * w, fStepX = 1, fStepY = -w;
            break;
        case 5:  // transposed: (x, y) goes to (y, x)
            fStart = 0, fStepX = h, fStepY = 1;
            break;
        case 6:  // stored a quarter turn anticlockwise: (x, y) goes to (h-1-y, x)
            fStart = h - 1, fStepX = h, fStepY = -1;
            break;
        case 7:  // transversed: (x, y) goes to (h-1-y, w-1-x)
            fStart = (w - 1) * h + h - 1, fStepX = -h, fStepY = -1;
            break;
        case 8:  // stored a quarter turn clockwise: (x, y) goes to (y, w-1-x)
            fStart = (w - 1) * h, fStepX = -h, fStepY = 1;
            break;
        default:
            fStart = 0, fStepX = 1, fStepY = w;
            break;
    }
}

void OrientedRows::Put(uint32 y, const uint8* const* rows, uint32 count) {
    if (fStepX == 1) {  // rows stay rows, in the same direction
        for (uint32 i = 0; i < count; ++i) {
            std::memcpy(fTarget + fStart + int64(y + i) * fStepY, rows[i], size_t(fWidth) * 4);
        }
        return;
    }
    if (fStepX == -1) {  // rows stay rows, reversed
        for (uint32 i = 0; i < count; ++i) {
            uint32* out = fTarget + fStart + int64(y + i) * fStepY;
            const auto* in = reinterpret_cast<const uint32*>(rows[i]);
            for (uint32 x = 0; x < fWidth; ++x) {
                std::memcpy(out - x, in + x, 4);
            }
        }
        return;
    }
    // Rows become columns: the rows given make a run of neighbouring pixels in each target
    // row, written together while the rows are in the cache.
    for (uint32 x = 0; x < fWidth; ++x) {
        uint32* out = fTarget + fStart + int64(x) * fStepX + int64(y) * fStepY;
        for (uint32 i = 0; i < count; ++i) {
            std::memcpy(out + int64(i) * fStepY, rows[i] + size_t(x) * 4, 4);
        }
    }
}

status_t ApplyOrientation(int orientation, std::unique_ptr<BBitmap>* image) {
    // An unknown value is what a camera writes when it knows no better: leave the image.
    if (orientation < 2 || orientation > 8 || image == nullptr || *image == nullptr) {
        return B_OK;
    }
    BBitmap& source = **image;
    if (!IsRGB32Space(source.ColorSpace()) || source.Bits() == nullptr) {
        return Fail(B_BAD_TYPE, "orientation : espace de couleurs non pris en charge");
    }
    const uint32 width = source.PixelWidth();
    const uint32 height = source.PixelHeight();
    const bool swap = orientation >= 5;
    // Every pixel of the turned picture comes from one of the source's, so its memory need
    // not be cleared first.
    auto turned = std::make_unique<BBitmap>(
        BRect(0, 0, float(swap ? height : width) - 1, float(swap ? width : height) - 1),
        source.ColorSpace(), BBitmap::Uncleared{});
    if (turned->InitCheck() != B_OK) {
        return turned->InitCheck();
    }
    // A few rows at a time: in a quarter turn, each makes one pixel of every target row.
    constexpr uint32 kRows = 16;
    OrientedRows placer(*turned, orientation, width, height);
    const auto* bits = static_cast<const uint8*>(source.Bits());
    const uint8* rows[kRows];
    for (uint32 y = 0; y < height; y += kRows) {
        const uint32 count = std::min(kRows, height - y);
        for (uint32 i = 0; i < count; ++i) {
            rows[i] = bits + size_t(y + i) * size_t(source.BytesPerRow());
        }
        placer.Put(y, rows, count);
    }
    *image = std::move(turned);
    return B_OK;
}

namespace {

// A bounds-checked view of the TIFF structure inside an EXIF block.
class TiffReader {
public:
    TiffReader(const uint8* data, size_t size, bool bigEndian)
        : fData(data), fSize(size), fBig(bigEndian) {}

    bool U16(uint64 offset, uint32* value) const {
        if (offset > fSize || fSize - offset < 2) {
            return false;
        }
        const uint8* p = fData + offset;
        *value = fBig ? (uint32(p[0]) << 8 | p[1]) : (uint32(p[1]) << 8 | p[0]);
        return true;
    }

    bool U32(uint64 offset, uint32* value) const {
        uint32 a, b;
        if (!U16(offset, &a) || !U16(offset + 2, &b)) {
            return false;
        }
        *value = fBig ? (a << 16 | b) : (b << 16 | a);
        return true;
    }

private:
    const uint8* fData;
    size_t fSize;
    bool fBig;
};

// The TIFF structure of an EXIF block (after its "Exif\0\0", when present) and the place
// of its first directory, or false when it is not one.
bool OpenExif(const uint8* exif, size_t size, TiffReader* tiff, uint32* ifd, uint32* entries) {
    if (exif == nullptr) {
        return false;
    }
    if (size >= 6 && std::memcmp(exif, "Exif\0\0", 6) == 0) {
        exif += 6;
        size -= 6;
    }
    if (size < 8) {
        return false;
    }
    bool bigEndian;
    if (std::memcmp(exif, "II*\0", 4) == 0) {
        bigEndian = false;
    } else if (std::memcmp(exif, "MM\0*", 4) == 0) {
        bigEndian = true;
    } else {
        return false;
    }
    *tiff = TiffReader(exif, size, bigEndian);
    return tiff->U32(4, ifd) && tiff->U16(*ifd, entries);
}

// One entry of the first directory: its type, count and the offset of its value field.
struct TiffEntry {
    uint32 type = 0;
    uint32 count = 0;
    uint64 field = 0;
};

bool FindEntry(const TiffReader& tiff, uint32 ifd, uint32 entries, uint32 tag, TiffEntry* found) {
    for (uint32 i = 0; i < entries; ++i) {
        const uint64 entry = uint64(ifd) + 2 + uint64(i) * 12;
        uint32 entryTag;
        if (!tiff.U16(entry, &entryTag) || !tiff.U16(entry + 2, &found->type) ||
            !tiff.U32(entry + 4, &found->count)) {
            return false;
        }
        if (entryTag == tag) {
            found->field = entry + 8;
            return true;
        }
    }
    return false;
}

constexpr uint32 kShort = 3;
constexpr uint32 kRational = 5;

// A RATIONAL entry's value (stored at the offset its field gives), or 0.
double RationalValue(const TiffReader& tiff, uint32 ifd, uint32 entries, uint32 tag) {
    TiffEntry entry;
    uint32 offset, numerator, denominator;
    if (!FindEntry(tiff, ifd, entries, tag, &entry) || entry.type != kRational ||
        entry.count != 1 || !tiff.U32(entry.field, &offset) || !tiff.U32(offset, &numerator) ||
        !tiff.U32(uint64(offset) + 4, &denominator) || denominator == 0) {
        return 0;
    }
    return double(numerator) / double(denominator);
}

}  // namespace

int ExifOrientation(const uint8* exif, size_t size) {
    constexpr int kUpright = 1;
    TiffReader tiff(nullptr, 0, false);
    uint32 ifd = 0, entries = 0, value = 0;
    TiffEntry entry;
    // One SHORT sits in the first two bytes of the value field, in the file's order.
    if (!OpenExif(exif, size, &tiff, &ifd, &entries) ||
        !FindEntry(tiff, ifd, entries, 0x0112, &entry) || entry.type != kShort ||
        entry.count != 1 || !tiff.U16(entry.field, &value)) {
        return kUpright;
    }
    return value >= 1 && value <= 8 ? int(value) : kUpright;
}

bool ExifResolution(const uint8* exif, size_t size, double* xDpi, double* yDpi) {
    TiffReader tiff(nullptr, 0, false);
    uint32 ifd = 0, entries = 0, unit = 2;  // inches unless the block says otherwise
    if (!OpenExif(exif, size, &tiff, &ifd, &entries)) {
        return false;
    }
    TiffEntry entry;
    if (FindEntry(tiff, ifd, entries, 0x0128, &entry) &&
        (entry.type != kShort || !tiff.U16(entry.field, &unit))) {
        return false;
    }
    const double perUnit = unit == 2 ? 1.0 : unit == 3 ? 2.54 : 0.0;
    const double x = RationalValue(tiff, ifd, entries, 0x011a) * perUnit;
    const double y = RationalValue(tiff, ifd, entries, 0x011b) * perUnit;
    if (!(x > 0 && y > 0 && x < 1e6 && y < 1e6)) {
        return false;
    }
    *xDpi = x;
    *yDpi = y;
    return true;
}

}  // namespace orv
