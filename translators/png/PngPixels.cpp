// SPDX-License-Identifier: MIT
#include "translators/png/PngPixels.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"

namespace orv::png {

namespace {

// libpng leaves a failing call by longjmp. Everything its callbacks touch is plain data, and
// the functions that call setjmp hold no object with a destructor: a jump over one would
// skip it. What they change for their caller lives behind pointers, never in locals.
struct PngIO {
    BDataIO* stream;
    bool ended;  // the stream ended before libpng was done
    char error[160];
    char warning[160];  // the first one
};

void OnError(png_structp png, png_const_charp message) {
    auto* io = static_cast<PngIO*>(png_get_error_ptr(png));
    std::snprintf(io->error, sizeof(io->error), "%s", message);
    png_longjmp(png, 1);
}

// libpng warns about data it could not trust and went past: a checksum that does not
// match, image data too long or too short. The pixels may then not be the picture's.
void OnWarning(png_structp png, png_const_charp message) {
    auto* io = static_cast<PngIO*>(png_get_error_ptr(png));
    if (io->warning[0] == '\0') {
        std::snprintf(io->warning, sizeof(io->warning), "%s", message);
    }
}

void ReadData(png_structp png, png_bytep data, size_t size) {
    auto* io = static_cast<PngIO*>(png_get_io_ptr(png));
    if (io->stream->ReadExactly(data, size) != B_OK) {
        io->ended = true;
        png_error(png, "truncated");
    }
}

// Reads the header and sets libpng to give 8-bit blue, green, red, alpha: palettes and grey
// expanded, tRNS turned into alpha, 16-bit samples scaled with rounding, an opaque alpha
// added where the picture has none. No gamma is applied: the samples are taken as stored.
bool Setup(png_structp png, png_infop info, const PixelTarget& target, int* passes) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    // Everything but the chunks that make the pixels is read elsewhere, bounded.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // A checksum that does not match is damage to report, not a reason to show nothing.
    png_set_crc_action(png, PNG_CRC_WARN_USE, PNG_CRC_WARN_DISCARD);
    png_set_user_limits(png, png_uint_32(kMaxImageSide), png_uint_32(kMaxImageSide));
    png_set_chunk_malloc_max(png, png_alloc_size_t(kMaxMetadataBytes));
    png_read_info(png, info);
    if (png_get_image_width(png, info) != target.width ||
        png_get_image_height(png, info) != target.height) {
        png_error(png, "unexpected image size");
    }
    const int colorType = png_get_color_type(png, info);
    const bool alpha =
        (colorType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    if (!alpha) {
        png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    }
    *passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(target.width) * 4) {
        png_error(png, "unexpected row size");
    }
    return true;
}

// Every row of every pass; an interlaced picture's early passes fill the blocks of the
// pixels to come, so a picture cut during a pass shows whole, coarser.
bool ReadRows(png_structp png, const PixelTarget& target, int passes, PixelOutcome* outcome) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    for (int pass = 0; pass < passes; pass++) {
        for (uint32 y = 0; y < target.height; y++) {
            png_bytep row = target.bits + size_t(y) * target.stride;
            if (passes > 1) {
                png_read_row(png, nullptr, row);
                if (PNG_ROW_IN_INTERLACE_PASS(y, pass)) {
                    outcome->decodedPixels += PNG_PASS_COLS(target.width, pass);
                }
            } else {
                png_read_row(png, row, nullptr);
                WorkRow(target, y);
                outcome->decodedPixels += target.width;
                outcome->rowsDone = y + 1;
            }
        }
    }
    return true;
}

bool ReadEnd(png_structp png) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_end(png, nullptr);
    return true;
}

class ReadStruct {
public:
    explicit ReadStruct(PngIO* io) {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, io, OnError, OnWarning);
        if (png != nullptr) {
            info = png_create_info_struct(png);
            png_set_read_fn(png, io, ReadData);
        }
    }
    ~ReadStruct() { png_destroy_read_struct(&png, &info, nullptr); }
    ReadStruct(const ReadStruct&) = delete;
    ReadStruct& operator=(const ReadStruct&) = delete;

    png_structp png = nullptr;
    png_infop info = nullptr;
};

std::string Reason(const PngIO& io) {
    return io.ended ? "fichier PNG tronqué"
                    : std::string("fichier PNG endommagé (") + io.error + ")";
}

}  // namespace

std::string MissingShare(uint64 missing, uint64 total) {
    const long percent = std::lround(double(missing) * 100.0 / double(std::max<uint64>(total, 1)));
    if (percent < 1) {
        return "moins de 1 %";
    }
    return "environ " + std::to_string(std::min(percent, 99L)) + " %";
}

status_t DecodePixels(BDataIO& stream, const PixelTarget& target, bool truncated,
                      PixelOutcome* outcome) {
    PngIO io{&stream, truncated, {}, {}};
    ReadStruct reader(&io);
    if (reader.png == nullptr || reader.info == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le PNG");
    }
    int passes = 1;
    if (!Setup(reader.png, reader.info, target, &passes)) {
        return Fail(B_BAD_DATA, Reason(io));
    }
    outcome->interlaced = passes > 1;
    const uint64 total = uint64(target.width) * target.height;
    if (!ReadRows(reader.png, target, passes, outcome)) {
        if (outcome->decodedPixels == 0) {
            return Fail(B_BAD_DATA, Reason(io));
        }
        const std::string share = MissingShare(total - outcome->decodedPixels, total);
        outcome->damage =
            io.ended ? "fichier tronqué : " + share + " de l'image manque"
                     : "image PNG endommagée : " + share + " de l'image manque (" + io.error + ")";
        return B_OK;
    }
    if (!ReadEnd(reader.png)) {
        outcome->damage =
            io.ended ? "fichier PNG tronqué après l'image"
                     : std::string("fichier PNG endommagé après l'image (") + io.error + ")";
    } else if (io.warning[0] != '\0') {
        outcome->damage = std::string("fichier PNG endommagé (") + io.warning + ")";
    }
    return B_OK;
}

}  // namespace orv::png
