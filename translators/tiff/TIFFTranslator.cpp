// SPDX-License-Identifier: MIT
#include "translators/tiff/TIFFTranslator.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"

namespace orv {
namespace {

constexpr translation_format kFormats[] = {
    {FourCC("TIFF"), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/tiff", "Image TIFF"},
};

constexpr SettingChoice kCompressions[] = {
    {COMPRESSION_LZW, "LZW"},
    {COMPRESSION_ADOBE_DEFLATE, "Deflate"},
    {COMPRESSION_NONE, "Aucune"},
};

constexpr SettingSchema kSettings[] = {
    {"compression", SettingSchema::Kind::Choice, "Compression", COMPRESSION_LZW, 0, 0,
     kCompressions},
    kOrientationSetting,
};

constexpr TranslatorDescription kDescription = {
    "Images TIFF", "Images TIFF, par libtiff", 100, "tiff", kFormats, kFormats, kSettings,
};

// libtiff's own buffers never need more than one strip or tile of a picture within our
// size limit; anything larger comes from a lying header.
constexpr tmsize_t kLargestLibraryAllocation = tmsize_t(1) << 30;
// Strips of about this many bytes keep LZW and Deflate efficient without holding much.
constexpr uint32 kStripBytes = 256 * 1024;

// The stream libtiff works on, and the first error it reported.
struct Client {
    BPositionIO* io;
    std::string error;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    ssize_t got = static_cast<Client*>(handle)->io->Read(buffer, size_t(size));
    return got < 0 ? -1 : tmsize_t(got);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    ssize_t put = static_cast<Client*>(handle)->io->Write(buffer, size_t(size));
    return put < 0 ? -1 : tmsize_t(put);
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    if (offset > toff_t(INT64_MAX)) {
        return toff_t(-1);
    }
    off_t position = static_cast<Client*>(handle)->io->Seek(off_t(offset), uint32(whence));
    return position < 0 ? toff_t(-1) : toff_t(position);
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    off_t size = 0;
    if (static_cast<Client*>(handle)->io->GetSize(&size) != B_OK) {
        return 0;
    }
    return toff_t(size);
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}

__attribute__((format(printf, 4, 0))) int RecordError(TIFF*, void* user, const char*,
                                                      const char* format, va_list args) {
    auto* client = static_cast<Client*>(user);
    if (client->error.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof(text), format, args);
        client->error = text;
    }
    return 1;  // handled: nothing reaches libtiff's global handler, which prints
}

int IgnoreWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Opens the stream with handlers that keep libtiff's messages off stderr.
TIFF* Open(Client& client, const char* mode) {
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        // Messages raised before a handle has its own handlers would go to stderr.
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return nullptr;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, RecordError, &client);
    TIFFOpenOptionsSetWarningHandlerExtR(options, IgnoreWarning, &client);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kLargestLibraryAllocation);
    TIFF* tiff = TIFFClientOpenExt("orvane", mode, &client, ReadProc, WriteProc, SeekProc,
                                   CloseProc, SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return tiff;
}

using TIFFPtr = std::unique_ptr<TIFF, FreeWith<TIFFClose>>;

status_t FailWith(status_t status, const char* reason, const std::string& detail) {
    if (detail.empty()) {
        return Fail(status, reason);
    }
    return Fail(status, std::string(reason) + " (" + detail + ")");
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

}  // namespace

TIFFTranslator::TIFFTranslator() : ImageTranslator(kDescription) {}

status_t TIFFTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 magic[4];
    if (source.ReadAt(0, magic, 4) != 4) {
        return B_NO_TRANSLATOR;
    }
    // Classic TIFF (42) and BigTIFF (43), in either byte order.
    const bool little =
        magic[0] == 'I' && magic[1] == 'I' && magic[3] == 0 && (magic[2] == 42 || magic[2] == 43);
    const bool big =
        magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && (magic[3] == 42 || magic[3] == 43);
    if (!little && !big) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t TIFFTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    if (source.Seek(0, SEEK_FROM_START) != 0) {
        return Fail(B_IO_ERROR, "fichier TIFF illisible");
    }
    Client client{&source, {}};
    TIFFPtr tiff(Open(client, "rm"));
    if (!tiff) {
        return FailWith(B_BAD_DATA, "fichier TIFF illisible", client.error);
    }

    uint32 width = 0;
    uint32 height = 0;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height)) {
        return Fail(B_BAD_DATA, "dimensions TIFF absentes");
    }
    status_t status = CheckImageSize(width, height);
    if (status != B_OK) {
        return status;
    }

    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), message)) {
        return FailWith(B_UNSUPPORTED, "variante de TIFF non prise en charge", message);
    }

    // libtiff premultiplies unassociated alpha on its way to RGBA, which would lose the
    // colour of faint pixels; declared associated, the samples come through as stored.
    uint16 extraCount = 0;
    uint16* extraTypes = nullptr;
    bool straightAlpha = false;
    if (TIFFGetField(tiff.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) &&
        extraCount > 0 && extraTypes[0] == EXTRASAMPLE_UNASSALPHA) {
        std::vector<uint16> types(extraTypes, extraTypes + extraCount);
        types[0] = EXTRASAMPLE_ASSOCALPHA;
        straightAlpha = TIFFSetField(tiff.get(), TIFFTAG_EXTRASAMPLES, extraCount, types.data());
    }

    uint16 orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);

    TIFFRGBAImage rgba{};
    if (!TIFFRGBAImageBegin(&rgba, tiff.get(), 1, message)) {
        return FailWith(B_UNSUPPORTED, "variante de TIFF non prise en charge", message);
    }
    std::unique_ptr<TIFFRGBAImage, FreeWith<TIFFRGBAImageEnd>> end(&rgba);
    // Rows as stored: libtiff only flips, and cannot turn the transposed orientations, so
    // the orientation is applied below, all eight the same way.
    rgba.orientation = ORIENTATION_TOPLEFT;
    rgba.req_orientation = ORIENTATION_TOPLEFT;

    const bool alpha = rgba.alpha == EXTRASAMPLE_ASSOCALPHA || rgba.alpha == EXTRASAMPLE_UNASSALPHA;
    if ((status = NewImage(width, height, alpha, image)) != B_OK) {
        return status;
    }
    BBitmap& bitmap = **image;
    // Our rows are exactly width × 4 bytes, the raster libtiff fills.
    if (!TIFFRGBAImageGet(&rgba, static_cast<uint32*>(bitmap.Bits()), width, height)) {
        image->reset();
        return FailWith(B_BAD_DATA, "image TIFF endommagée", client.error);
    }
    end.reset();
    ToBitmapPixels(static_cast<uint8*>(bitmap.Bits()), size_t(width) * height,
                   alpha && !straightAlpha);

    return ApplyOrientationSetting(Settings(), orientation, image);
}

status_t TIFFTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                       BPositionIO& destination) {
    status_t status = CheckEncodeRequest(image, outType, kFormats, "TIFF");
    if (status != B_OK) {
        return status;
    }
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();

    Client client{&destination, {}};
    TIFFPtr tiff(Open(client, "w"));
    if (!tiff) {
        return FailWith(B_IO_ERROR, "écriture du fichier TIFF impossible", client.error);
    }

    const bool alpha = HasTransparency(image);
    const uint16 samples = alpha ? 4 : 3;
    const uint16 compression = uint16(Settings().Int32("compression"));
    TIFF* t = tiff.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    if (compression != COMPRESSION_NONE) {
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (alpha) {
        const uint16 extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    const uint32 rowBytes = width * samples;
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::max<uint32>(1, kStripBytes / rowBytes));
    TIFFSetField(t, TIFFTAG_SOFTWARE, "Orvane");

    std::vector<uint8> row(rowBytes);
    for (uint32 y = 0; y < height; y++) {
        BitmapRowToSamples(image, y, alpha, row.data());
        if (TIFFWriteScanline(t, row.data(), y) < 0) {
            return FailWith(B_IO_ERROR, "écriture du fichier TIFF impossible", client.error);
        }
    }
    if (!TIFFFlush(t)) {
        return FailWith(B_IO_ERROR, "écriture du fichier TIFF impossible", client.error);
    }
    return B_OK;
}

}  // namespace orv
