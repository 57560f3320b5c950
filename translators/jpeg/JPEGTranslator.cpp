// SPDX-License-Identifier: MIT
#include "translators/jpeg/JPEGTranslator.h"

// jpeglib.h needs FILE and size_t declared first, and jerror.h the configuration that
// jpeglib.h brings (its message list depends on it).
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
//
#include <jerror.h>

#include <csetjmp>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("JPEG"), B_TRANSLATOR_BITMAP, 0.9f, 0.8f, "image/jpeg", "Image JPEG"},
};

enum Subsampling : int32 { k420 = 0, k422 = 1, k444 = 2 };

constexpr SettingChoice kSubsamplingChoices[] = {
    {k420, "4:2:0 (fichiers plus petits)"},
    {k422, "4:2:2"},
    {k444, "4:4:4 (couleurs les plus fines)"},
};

constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité", 90, 1, 100},
    {"subsampling", SettingSchema::Kind::Choice, "Sous-échantillonnage des couleurs", k420, 0, 0,
     kSubsamplingChoices},
    {"optimize", SettingSchema::Kind::Bool, "Optimiser les tables de Huffman", 1},
    {"progressive", SettingSchema::Kind::Bool, "JPEG progressif", 0},
    FlattenAlphaSetting(true),
    kOrientationSetting,
};

#define ORV_STRING(x) #x
#define ORV_VERSION_TEXT(x) ORV_STRING(x)
#define kTurboVersion ORV_VERSION_TEXT(LIBJPEG_TURBO_VERSION)

constexpr size_t kBufferSize = 64 * 1024;

// A progressive file may hold any number of scans, each a full pass over the coefficients;
// real encoders write about ten. Far more is an attack on the decoder's time.
constexpr int kMaxScans = 500;

// libjpeg leaves a failing call by longjmp. Everything its callbacks touch is plain data, and
// the functions that call setjmp hold no object with a destructor: a jump over one would
// skip it.
enum class Trouble { None, Truncated, IOFailed, TooManyScans };

struct JpegContext {
    jpeg_error_mgr error;
    jpeg_source_mgr source;
    jpeg_destination_mgr destination;
    std::jmp_buf jump;
    BPositionIO* stream;
    JOCTET* buffer;
    Trouble trouble;
    char message[JMSG_LENGTH_MAX];
};

JpegContext* ContextOf(j_common_ptr info) {
    return static_cast<JpegContext*>(info->client_data);
}

[[noreturn]] void OnErrorExit(j_common_ptr info) {
    JpegContext* context = ContextOf(info);
    (*info->err->format_message)(info, context->message);
    std::longjmp(context->jump, 1);
}

[[noreturn]] void Abort(j_common_ptr info, Trouble trouble) {
    ContextOf(info)->trouble = trouble;
    OnErrorExit(info);
}

// Warnings that mean pixels were invented to fill missing or broken data: the image would be
// partly grey or garbled, so the file is refused instead of shown as decoded.
void OnEmitMessage(j_common_ptr info, int level) {
    if (level >= 0) {
        return;
    }
    switch (info->err->msg_code) {
        case JWRN_HIT_MARKER:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
        case JWRN_MUST_RESYNC:
        case JWRN_NOT_SEQUENTIAL:
            OnErrorExit(info);
        default:
            break;
    }
}

void OnProgress(j_common_ptr info) {
    if (info->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
        Abort(info, Trouble::TooManyScans);
    }
}

void InitSource(j_decompress_ptr) {}

// The end of the stream before the end-of-image marker is a truncated file: libjpeg would
// make up an end marker and fill the rest of the picture with grey.
boolean FillInput(j_decompress_ptr info) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    ssize_t got = context->stream->Read(context->buffer, kBufferSize);
    if (got <= 0) {
        Abort(reinterpret_cast<j_common_ptr>(info),
              got < 0 ? Trouble::IOFailed : Trouble::Truncated);
    }
    info->src->next_input_byte = context->buffer;
    info->src->bytes_in_buffer = size_t(got);
    return TRUE;
}

void SkipInput(j_decompress_ptr info, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr* source = info->src;
    if (size_t(count) <= source->bytes_in_buffer) {
        source->next_input_byte += count;
        source->bytes_in_buffer -= size_t(count);
        return;
    }
    // Skipping past the end is noticed by the next read.
    off_t rest = off_t(count) - off_t(source->bytes_in_buffer);
    source->bytes_in_buffer = 0;
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    if (context->stream->Seek(rest, SEEK_FROM_CURRENT) < 0) {
        Abort(reinterpret_cast<j_common_ptr>(info), Trouble::IOFailed);
    }
}

void TermSource(j_decompress_ptr) {}

void InitDestination(j_compress_ptr info) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    info->dest->next_output_byte = context->buffer;
    info->dest->free_in_buffer = kBufferSize;
}

boolean EmptyOutput(j_compress_ptr info) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    if (context->stream->WriteExactly(context->buffer, kBufferSize) != B_OK) {
        Abort(reinterpret_cast<j_common_ptr>(info), Trouble::IOFailed);
    }
    InitDestination(info);
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(info));
    size_t used = kBufferSize - info->dest->free_in_buffer;
    if (used > 0 && context->stream->WriteExactly(context->buffer, used) != B_OK) {
        Abort(reinterpret_cast<j_common_ptr>(info), Trouble::IOFailed);
    }
}

void InitContext(JpegContext* context, BPositionIO* stream) {
    std::memset(context, 0, sizeof(*context));
    jpeg_std_error(&context->error);
    context->error.error_exit = OnErrorExit;
    context->error.emit_message = OnEmitMessage;
    context->stream = stream;
}

// Adobe's encoders store CMYK inverted (0 means full ink), others plainly; either way the ink
// is taken out of white.
void CMYKToRow(const uint8* cmyk, uint8* bgra, uint32 count, bool inverted) {
    for (uint32 i = 0; i < count; i++, cmyk += 4, bgra += 4) {
        uint32 c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgra[0] = uint8((y * k + 127) / 255);
        bgra[1] = uint8((m * k + 127) / 255);
        bgra[2] = uint8((c * k + 127) / 255);
        bgra[3] = 255;
    }
}

struct JpegHeader {
    uint32 width;
    uint32 height;
    int orientation;
};

bool ReadHeader(jpeg_decompress_struct* info, JpegContext* context, JpegHeader* header) {
    if (setjmp(context->jump)) {
        return false;
    }
    jpeg_save_markers(info, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(info, TRUE);
    header->width = info->image_width;
    header->height = info->image_height;
    header->orientation = 1;
    for (jpeg_saved_marker_ptr marker = info->marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 &&
            std::memcmp(marker->data, "Exif\0\0", 6) == 0) {
            header->orientation = ExifOrientation(marker->data, marker->data_length);
            break;
        }
    }
    return true;
}

// Decodes straight into the bitmap's rows, except CMYK, which goes through one row of ink.
bool ReadPixels(jpeg_decompress_struct* info, JpegContext* context, JSAMPROW* rows) {
    if (setjmp(context->jump)) {
        return false;
    }
    bool cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    info->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    info->dct_method = JDCT_ISLOW;
    jpeg_start_decompress(info);
    if (!cmyk) {
        while (info->output_scanline < info->output_height) {
            jpeg_read_scanlines(info, rows + info->output_scanline,
                                info->output_height - info->output_scanline);
        }
    } else {
        JSAMPARRAY ink = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info),
                                                    JPOOL_IMAGE, info->output_width * 4, 1);
        while (info->output_scanline < info->output_height) {
            JDIMENSION y = info->output_scanline;
            if (jpeg_read_scanlines(info, ink, 1) == 1) {
                CMYKToRow(ink[0], rows[y], info->output_width, info->saw_Adobe_marker);
            }
        }
    }
    jpeg_finish_decompress(info);
    return true;
}

struct JpegEncoding {
    uint32 width;
    uint32 height;
    int quality;
    int32 subsampling;
    bool optimize;
    bool progressive;
    bool flatten;  // composite over white through a row of RGB
};

bool WritePixels(jpeg_compress_struct* info, JpegContext* context, const JpegEncoding& encoding,
                 JSAMPROW* rows) {
    if (setjmp(context->jump)) {
        return false;
    }
    context->buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, kBufferSize));
    info->dest = &context->destination;
    info->dest->init_destination = InitDestination;
    info->dest->empty_output_buffer = EmptyOutput;
    info->dest->term_destination = TermDestination;

    info->image_width = encoding.width;
    info->image_height = encoding.height;
    info->input_components = encoding.flatten ? 3 : 4;
    info->in_color_space = encoding.flatten ? JCS_RGB : JCS_EXT_BGRX;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, encoding.quality, TRUE);
    info->comp_info[0].h_samp_factor = encoding.subsampling == k444 ? 1 : 2;
    info->comp_info[0].v_samp_factor = encoding.subsampling == k420 ? 2 : 1;
    info->optimize_coding = encoding.optimize ? TRUE : FALSE;
    info->dct_method = JDCT_ISLOW;
    if (encoding.progressive) {
        jpeg_simple_progression(info);
    }
    jpeg_start_compress(info, TRUE);
    if (!encoding.flatten) {
        while (info->next_scanline < info->image_height) {
            jpeg_write_scanlines(info, rows + info->next_scanline,
                                 info->image_height - info->next_scanline);
        }
    } else {
        JSAMPARRAY rgb = (*info->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(info),
                                                    JPOOL_IMAGE, encoding.width * 3, 1);
        while (info->next_scanline < info->image_height) {
            RowToRGB(rows[info->next_scanline], rgb[0], encoding.width, true);
            jpeg_write_scanlines(info, rgb, 1);
        }
    }
    jpeg_finish_compress(info);
    return true;
}

status_t ReadFailure(const jpeg_decompress_struct& info, const JpegContext& context) {
    switch (context.trouble) {
        case Trouble::Truncated:
            return Fail(B_BAD_DATA, "fichier JPEG tronqué");
        case Trouble::IOFailed:
            return Fail(B_IO_ERROR, "lecture du JPEG impossible");
        case Trouble::TooManyScans:
            return Fail(B_BAD_DATA, "fichier JPEG endommagé (trop de passes progressives)");
        case Trouble::None:
            break;
    }
    if (info.err->msg_code == JERR_BAD_PRECISION) {
        return Fail(B_BAD_DATA, "JPEG de " + std::to_string(info.data_precision) +
                                    " bits par composante non pris en charge (8 bits seulement)");
    }
    return Fail(B_BAD_DATA, std::string("fichier JPEG endommagé (") + context.message + ")");
}

class JpegReader {
public:
    explicit JpegReader(JpegContext* context) {
        info.err = &context->error;
        info.client_data = context;
        jpeg_create_decompress(&info);
        progress.progress_monitor = OnProgress;
        info.progress = &progress;
    }
    ~JpegReader() { jpeg_destroy_decompress(&info); }
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    jpeg_decompress_struct info{};
    jpeg_progress_mgr progress{};
};

class JpegWriter {
public:
    explicit JpegWriter(JpegContext* context) {
        info.err = &context->error;
        info.client_data = context;
        jpeg_create_compress(&info);
    }
    ~JpegWriter() { jpeg_destroy_compress(&info); }
    JpegWriter(const JpegWriter&) = delete;
    JpegWriter& operator=(const JpegWriter&) = delete;

    jpeg_compress_struct info{};
};

}  // namespace

JPEGTranslator::JPEGTranslator()
    : ImageTranslator({"Images JPEG", "Images JPEG, par libjpeg-turbo " kTurboVersion, 100, "jpeg",
                       kFormats, kFormats, kSettings}) {}

status_t JPEGTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 start[3];
    if (source.ReadAt(0, start, sizeof(start)) != sizeof(start) || start[0] != 0xff ||
        start[1] != 0xd8 || start[2] != 0xff) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t JPEGTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    if (source.Seek(0, SEEK_FROM_START) != 0) {
        return Fail(B_IO_ERROR, "lecture du JPEG impossible");
    }
    JpegContext context;
    InitContext(&context, &source);
    JpegReader reader(&context);
    jpeg_decompress_struct* info = &reader.info;
    context.buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, kBufferSize));
    info->src = &context.source;
    info->src->init_source = InitSource;
    info->src->fill_input_buffer = FillInput;
    info->src->skip_input_data = SkipInput;
    info->src->resync_to_restart = jpeg_resync_to_restart;
    info->src->term_source = TermSource;

    JpegHeader header{};
    if (!ReadHeader(info, &context, &header)) {
        return ReadFailure(*info, context);
    }
    std::unique_ptr<BBitmap> bitmap;
    status_t status = NewImage(header.width, header.height, false, &bitmap);
    if (status != B_OK) {
        return status;
    }
    std::vector<JSAMPROW> rows(header.height);
    auto* bits = static_cast<JSAMPLE*>(bitmap->Bits());
    for (uint32 y = 0; y < header.height; y++) {
        rows[y] = bits + size_t(y) * size_t(bitmap->BytesPerRow());
    }
    if (!ReadPixels(info, &context, rows.data())) {
        return ReadFailure(*info, context);
    }
    *image = std::move(bitmap);
    return ApplyOrientationSetting(Settings(), header.orientation, image);
}

status_t JPEGTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                       BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "JPEG"); status != B_OK) {
        return status;
    }
    JpegEncoding encoding{image.PixelWidth(),
                          image.PixelHeight(),
                          int(Settings().Int32("quality")),
                          Settings().Int32("subsampling"),
                          Settings().Bool("optimize"),
                          Settings().Bool("progressive"),
                          Settings().Bool(kFlattenAlphaName) && HasTransparency(image)};
    if (encoding.width > JPEG_MAX_DIMENSION || encoding.height > JPEG_MAX_DIMENSION) {
        return Fail(B_BAD_VALUE, "image trop grande pour le format JPEG (65500 pixels au plus)");
    }
    // libjpeg only reads the rows it is given.
    std::vector<JSAMPROW> rows(encoding.height);
    auto* bits = static_cast<JSAMPLE*>(const_cast<void*>(image.Bits()));
    for (uint32 y = 0; y < encoding.height; y++) {
        rows[y] = bits + size_t(y) * size_t(image.BytesPerRow());
    }
    JpegContext context;
    InitContext(&context, &destination);
    JpegWriter writer(&context);
    if (!WritePixels(&writer.info, &context, encoding, rows.data())) {
        if (context.trouble == Trouble::IOFailed) {
            return Fail(B_IO_ERROR, "écriture du JPEG impossible");
        }
        return Fail(B_ERROR, std::string("encodage JPEG impossible (") + context.message + ")");
    }
    return B_OK;
}

}  // namespace orv
