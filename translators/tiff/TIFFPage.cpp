// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFPage.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"

namespace orv {
namespace {

// More strips or tiles than this in one page is a lying header, not a picture.
constexpr uint64 kMaxChunks = uint64(1) << 22;

struct Format {
    uint16 sampleFormat = SAMPLEFORMAT_UINT;
    uint16 bits = 1;
    uint16 samples = 1;
    uint16 photometric = PHOTOMETRIC_MINISBLACK;
    uint16 planar = PLANARCONFIG_CONTIG;
};

Format FormatOf(TIFF* tiff) {
    Format f;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &f.sampleFormat);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &f.bits);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &f.planar);
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &f.photometric)) {
        f.photometric = f.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    }
    return f;
}

// Samples libtiff's RGBA reader refuses but which are plain grey or RGB values: read here.
bool ReadsOwnSamples(const Format& f) {
    return (f.sampleFormat == SAMPLEFORMAT_IEEEFP && (f.bits == 32 || f.bits == 64)) ||
           (f.sampleFormat == SAMPLEFORMAT_UINT && f.bits == 32);
}

status_t CheckOwnSamples(const Format& f) {
    const bool grey = f.photometric == PHOTOMETRIC_MINISBLACK && f.samples <= 2;
    const bool rgb = f.photometric == PHOTOMETRIC_RGB && (f.samples == 3 || f.samples == 4);
    if (!grey && !rgb) {
        return Fail(B_UNSUPPORTED,
                    "variante de TIFF non prise en charge (échantillons de 32 ou 64 bits hors "
                    "gris et RGB)");
    }
    return B_OK;
}

// The strips or tiles, bounded, and the bytes they declare.
status_t CheckChunks(TIFF* tiff, uint32 width, uint32 height, uint64* declaredBytes) {
    const uint64 chunks = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    if (chunks == 0 || chunks > kMaxChunks) {
        return Fail(B_BAD_DATA, "découpage TIFF invalide");
    }
    if (TIFFIsTiled(tiff)) {
        uint32 tileWidth = 0;
        uint32 tileHeight = 0;
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileHeight);
        // A tile far larger than its picture would make libtiff allocate for nothing.
        const uint64 area = uint64(tileWidth) * tileHeight;
        if (area == 0 || area > std::max<uint64>(uint64(width) * height * 4, 1 << 22)) {
            return Fail(B_BAD_DATA, "tuiles TIFF démesurées");
        }
    }
    uint64 total = 0;
    for (uint32 i = 0; i < chunks; i++) {
        total += TIFFGetStrileByteCount(tiff, i);
    }
    *declaredBytes = total;
    return B_OK;
}

// How far libtiff may read past the end of the file as zeros: no more than the page
// holds uncompressed, so a lying byte count cannot make it allocate more.
uint64 PaddingAllowance(TIFF* tiff) {
    const uint64 chunkBytes =
        TIFFIsTiled(tiff) ? uint64(TIFFTileSize64(tiff)) : uint64(TIFFStripSize64(tiff));
    const uint64 chunks = TIFFIsTiled(tiff) ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
    return std::min<uint64>(chunkBytes * chunks + 65536, uint64(1) << 30);
}

void NoteTrouble(const TIFFStream& stream, PageDamage* damage) {
    if (damage->reason.empty()) {
        damage->reason = stream.Reason();
    }
}

// libtiff hands RGBA words (red in the low byte); our pixels put blue first. Associated
// alpha is taken back to straight colour, rounded to nearest.
void ToBitmapPixels(uint8* pixels, size_t count, bool associated) {
    for (size_t i = 0; i < count; i++, pixels += 4) {
        std::swap(pixels[0], pixels[2]);
        if (!associated) {
            continue;
        }
        const uint32 a = pixels[3];
        for (int c = 0; c < 3; c++) {
            pixels[c] = a == 0 ? 0 : uint8(std::min<uint32>(255, (pixels[c] * 255u + a / 2) / a));
        }
    }
}

// Rows [row, row + rows) through libtiff's RGBA reader, into `raster` (their first row).
bool ReadRGBARows(TIFFRGBAImage& rgba, uint32 row, uint32 rows, uint32* raster) {
    rgba.row_offset = int(row);
    rgba.col_offset = 0;
    return rows == 0 || TIFFRGBAImageGet(&rgba, raster, rgba.width, rows) != 0;
}

status_t DecodeRGBA(TIFF* tiff, TIFFStream& stream, std::unique_ptr<BBitmap>* image,
                    PageDamage* damage) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff, message)) {
        return FailWith(B_UNSUPPORTED, "variante de TIFF non prise en charge", message);
    }
    // libtiff premultiplies unassociated alpha on its way to RGBA, which would lose the
    // colour of faint pixels; declared associated, the samples come through as stored.
    uint16 extraCount = 0;
    uint16* extraTypes = nullptr;
    bool straightAlpha = false;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 &&
        extraTypes[0] == EXTRASAMPLE_UNASSALPHA) {
        std::vector<uint16> types(extraTypes, extraTypes + extraCount);
        types[0] = EXTRASAMPLE_ASSOCALPHA;
        straightAlpha = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, extraCount, types.data());
    }
    TIFFRGBAImage rgba{};
    if (!TIFFRGBAImageBegin(&rgba, tiff, 1, message)) {
        return FailWith(B_UNSUPPORTED, "variante de TIFF non prise en charge", message);
    }
    std::unique_ptr<TIFFRGBAImage, FreeWith<TIFFRGBAImageEnd>> end(&rgba);
    // Rows as stored: libtiff only flips, and cannot turn the transposed orientations, so
    // the caller applies the orientation, all eight the same way.
    rgba.orientation = ORIENTATION_TOPLEFT;
    rgba.req_orientation = ORIENTATION_TOPLEFT;

    const uint32 width = rgba.width;
    const uint32 height = rgba.height;
    const bool alpha = rgba.alpha == EXTRASAMPLE_ASSOCALPHA || rgba.alpha == EXTRASAMPLE_UNASSALPHA;
    if (status_t status = NewImage(width, height, alpha, image); status != B_OK) {
        return status;
    }
    auto* raster = static_cast<uint32*>((*image)->Bits());

    // One strip or one row of tiles at a time, so that what fails is that band, not the
    // page.
    uint32 band = 0;
    if (TIFFIsTiled(tiff)) {
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &band);
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &band);
    }
    band = std::clamp<uint32>(band, 1, height);

    for (uint32 y = 0; y < height; y += band) {
        const uint32 rows = std::min(band, height - y);
        uint32* first = raster + size_t(y) * width;
        stream.Clear();
        const bool read = ReadRGBARows(rgba, y, rows, first);
        if (read && stream.Quiet()) {
            continue;
        }
        NoteTrouble(stream, damage);
        if (read) {
            damage->damagedPixels += uint64(rows) * width;
            continue;
        }
        // The band fails as a whole: keep the longest run of its first rows that reads
        // (a strip cut short still gives what comes before the cut), and blank the rest.
        uint32 good = 0;
        uint32 bad = rows;
        while (bad - good > 1) {
            const uint32 middle = good + (bad - good) / 2;
            (ReadRGBARows(rgba, y, middle, first) ? good : bad) = middle;
        }
        if (good > 0 && !ReadRGBARows(rgba, y, good, first)) {
            good = 0;
        }
        std::memset(first + size_t(good) * width, 0, size_t(rows - good) * width * 4);
        damage->lostPixels += uint64(rows - good) * width;
    }
    end.reset();
    ToBitmapPixels(static_cast<uint8*>((*image)->Bits()), size_t(width) * height,
                   alpha && !straightAlpha);
    return B_OK;
}

// One sample into 8 bits, rounded: floating point clamped to 0–1, 32-bit integers scaled.
template <typename T>
uint8 ToByte(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        if (!(value > 0)) {  // NaN too
            return 0;
        }
        return value >= 1 ? 255 : uint8(std::lround(value * 255));
    } else {
        return uint8((uint64(value) * 255 + 0x7fffffff) / 0xffffffff);
    }
}

// Channel `channel` of a grey (1, 2 samples) or RGB (3, 4) pixel into a bitmap pixel.
void PutSample(uint8* pixel, uint16 samples, uint16 channel, uint8 value) {
    if (samples <= 2) {
        if (channel == 0) {
            pixel[0] = pixel[1] = pixel[2] = value;
        } else {
            pixel[3] = value;
        }
    } else if (channel < 3) {
        pixel[2 - channel] = value;
    } else {
        pixel[3] = value;
    }
}

// A chunk's place in the picture: its plane, first row and column, and size.
struct Chunk {
    uint16 plane;
    uint32 x, y, width, height;
};

template <typename T>
void PutChunk(const Format& f, const Chunk& c, uint32 stride, const uint8* bytes, BBitmap* image) {
    const uint16 perPixel = f.planar == PLANARCONFIG_CONTIG ? f.samples : 1;
    for (uint32 row = 0; row < c.height; row++) {
        const auto* in = reinterpret_cast<const T*>(bytes + size_t(row) * stride);
        auto* out = static_cast<uint8*>(image->Bits()) + size_t(c.y + row) * image->BytesPerRow() +
                    size_t(c.x) * 4;
        for (uint32 x = 0; x < c.width; x++, out += 4) {
            for (uint16 s = 0; s < perPixel; s++) {
                T value;
                std::memcpy(&value, in + size_t(x) * perPixel + s, sizeof value);
                PutSample(out, f.samples, uint16(c.plane + s), ToByte(value));
            }
        }
    }
}

status_t DecodeSamples(TIFF* tiff, TIFFStream& stream, const Format& f,
                       std::unique_ptr<BBitmap>* image, PageDamage* damage) {
    if (status_t status = CheckOwnSamples(f); status != B_OK) {
        return status;
    }
    uint32 width = 0;
    uint32 height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    const bool alpha = f.samples == 2 || f.samples == 4;
    if (status_t status = NewImage(width, height, alpha, image); status != B_OK) {
        return status;
    }
    if (!alpha) {
        auto* pixels = static_cast<uint8*>((*image)->Bits());
        for (size_t i = 3; i < size_t((*image)->BitsLength()); i += 4) {
            pixels[i] = 255;
        }
    }
    const bool tiled = TIFFIsTiled(tiff);
    uint32 chunkWidth = width;
    uint32 chunkHeight = 0;
    if (tiled) {
        TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &chunkWidth);
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &chunkHeight);
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &chunkHeight);
        chunkHeight = std::clamp<uint32>(chunkHeight, 1, height);
    }
    const uint16 planes = f.planar == PLANARCONFIG_CONTIG ? 1 : f.samples;
    const uint32 perPixel = f.planar == PLANARCONFIG_CONTIG ? f.samples : 1;
    const uint32 stride = chunkWidth * perPixel * (f.bits / 8);
    const tmsize_t chunkBytes = tiled ? TIFFTileSize(tiff) : TIFFStripSize(tiff);
    if (chunkBytes <= 0 || uint64(chunkBytes) < uint64(stride) * chunkHeight) {
        return FailWith(B_BAD_DATA, "image TIFF illisible", stream.error);
    }
    std::vector<uint8> buffer(static_cast<size_t>(chunkBytes));

    for (uint16 plane = 0; plane < planes; plane++) {
        for (uint32 y = 0; y < height; y += chunkHeight) {
            for (uint32 x = 0; x < width; x += chunkWidth) {
                const Chunk c{plane, x, y, std::min(chunkWidth, width - x),
                              std::min(chunkHeight, height - y)};
                stream.Clear();
                const tmsize_t got =
                    tiled ? TIFFReadEncodedTile(tiff, TIFFComputeTile(tiff, x, y, 0, plane),
                                                buffer.data(), chunkBytes)
                          : TIFFReadEncodedStrip(tiff, TIFFComputeStrip(tiff, y, plane),
                                                 buffer.data(), tmsize_t(stride) * c.height);
                const uint64 pixels = uint64(c.width) * c.height;
                if (got < 0) {
                    NoteTrouble(stream, damage);
                    damage->lostPixels += pixels / planes;
                    continue;
                }
                if (!stream.Quiet()) {
                    NoteTrouble(stream, damage);
                    damage->damagedPixels += pixels / planes;
                }
                if (f.sampleFormat == SAMPLEFORMAT_UINT) {
                    PutChunk<uint32>(f, c, stride, buffer.data(), image->get());
                } else if (f.bits == 32) {
                    PutChunk<float>(f, c, stride, buffer.data(), image->get());
                } else {
                    PutChunk<double>(f, c, stride, buffer.data(), image->get());
                }
            }
        }
    }
    return B_OK;
}

}  // namespace

status_t CheckPage(TIFF* tiff, PageShape* shape) {
    if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &shape->width) ||
        !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &shape->height)) {
        return Fail(B_BAD_DATA, "dimensions TIFF absentes");
    }
    if (status_t status = CheckImageSize(shape->width, shape->height); status != B_OK) {
        return status;
    }
    shape->orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &shape->orientation);
    const Format f = FormatOf(tiff);
    if (ReadsOwnSamples(f)) {
        shape->alpha = f.samples == 2 || f.samples == 4;
        return CheckOwnSamples(f);
    }
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff, message)) {
        return FailWith(B_UNSUPPORTED, "variante de TIFF non prise en charge", message);
    }
    uint16 extraCount = 0;
    uint16* extraTypes = nullptr;
    shape->alpha = TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) &&
                   extraCount > 0 && (extraTypes[0] != EXTRASAMPLE_UNSPECIFIED || f.samples > 3);
    return B_OK;
}

status_t DecodePage(TIFF* tiff, TIFFStream& stream, std::unique_ptr<BBitmap>* image,
                    PageDamage* damage) {
    image->reset();
    *damage = {};
    PageShape shape;
    if (status_t status = CheckPage(tiff, &shape); status != B_OK) {
        return status;
    }
    if (status_t status = CheckChunks(tiff, shape.width, shape.height, &damage->declaredBytes);
        status != B_OK) {
        return status;
    }
    stream.padAllowance = PaddingAllowance(tiff);
    stream.paddedBytes = 0;
    const Format f = FormatOf(tiff);
    status_t status = ReadsOwnSamples(f) ? DecodeSamples(tiff, stream, f, image, damage)
                                         : DecodeRGBA(tiff, stream, image, damage);
    stream.padAllowance = 0;
    if (status == B_OK && damage->lostPixels >= uint64(shape.width) * shape.height) {
        status = FailWith(B_BAD_DATA, "image TIFF illisible", damage->reason);
    }
    if (status == B_OK && stream.paddedBytes >= damage->declaredBytes) {
        status = Fail(B_BAD_DATA, "fichier TIFF tronqué : l'image y manque entièrement");
    }
    if (status != B_OK) {
        image->reset();
    }
    return status;
}

}  // namespace orv
