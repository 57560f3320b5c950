// SPDX-License-Identifier: MIT
#include "translators/heif/HEIFTranslator.h"

#include <libheif/heif.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("HEIF"), B_TRANSLATOR_BITMAP, 0.8f, 0.8f, "image/heif", "Image HEIF"},
};

// x265's presets, from the most compact to the fastest. "ultrafast" encodes photographs
// almost four times as fast as "veryfast" (1.5 against 0.4 megapixel a second on two busy
// cores) for files 11 % larger at about the same PSNR ("fast" and "veryfast" code still
// pictures alike). libheif's quality scale is its own: 50, its default, gives photographs
// the size and fidelity AVIF gives at 80 (a quarter of the source JPEG's size, 36 to
// 47 dB); 80 makes files larger than the JPEG they came from.
constexpr const char* kPresets[] = {"slow", "medium", "fast", "veryfast", "ultrafast"};
constexpr SettingChoice kSpeedChoices[] = {
    {0, "lente"}, {1, "moyenne"}, {2, "rapide"}, {3, "très rapide"}, {4, "la plus rapide"},
};
// The speed setting's value is the index of its preset.
static_assert([] {
    for (size_t i = 0; i < std::size(kSpeedChoices); i++) {
        if (kSpeedChoices[i].value != int32(i)) {
            return false;
        }
    }
    return std::size(kSpeedChoices) == std::size(kPresets);
}());

constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité (100 : la meilleure)", 50, 0, 100},
    {"speed", SettingSchema::Kind::Choice, "Vitesse d'encodage", 4, 0, 0, kSpeedChoices},
    kOrientationSetting,
};

// The side limit for the images a picture is built from never goes below this.
constexpr int kMinimumSideLimit = 4096;

// The largest ftyp box we look at to identify a stream; real ones are a few dozen bytes.
constexpr size_t kMaxIdentifyBytes = 4096;

using ContextPtr = std::unique_ptr<heif_context, FreeWith<heif_context_free>>;
using HandlePtr = std::unique_ptr<heif_image_handle, FreeWith<heif_image_handle_release>>;
using ImagePtr = std::unique_ptr<heif_image, FreeWith<heif_image_release>>;
using EncoderPtr = std::unique_ptr<heif_encoder, FreeWith<heif_encoder_release>>;
using DecodingOptionsPtr =
    std::unique_ptr<heif_decoding_options, FreeWith<heif_decoding_options_free>>;
using EncodingOptionsPtr =
    std::unique_ptr<heif_encoding_options, FreeWith<heif_encoding_options_free>>;

// libheif registers its codecs once per process; we never undo it, since other
// translators' libraries may share it.
void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

const char* DescriptionInfo() {
    static const std::string info = std::string("Images HEIF, libheif ") + heif_get_version();
    return info.c_str();
}

// Without an encoder the format is offered for reading only.
TranslatorDescription Description() {
    InitLibrary();
    const std::span<const translation_format> outputs =
        HEIFTranslator::CanEncode() ? std::span(kFormats) : std::span<const translation_format>();
    return {"Images HEIF", DescriptionInfo(), 100, "heif", kFormats, outputs, kSettings};
}

// A French reason for each way libheif refuses a file.
status_t FailDecode(const heif_error& error) {
    if (error.subcode == heif_suberror_End_of_data) {
        return Fail(B_BAD_DATA, "fichier HEIF tronqué");
    }
    if (error.subcode == heif_suberror_Security_limit_exceeded) {
        return Fail(B_NO_MEMORY, "image HEIF trop grande");
    }
    switch (error.code) {
        case heif_error_Memory_allocation_error:
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image HEIF");
        case heif_error_Unsupported_filetype:
        case heif_error_Unsupported_feature:
            return Fail(B_BAD_DATA, "variante HEIF non prise en charge");
        case heif_error_Decoder_plugin_error:
            return Fail(B_BAD_DATA, "données d'image HEIF corrompues");
        default:
            return Fail(B_BAD_DATA, "structure HEIF invalide");
    }
}

// libheif reads the file through these calls, at the positions it chooses.
struct StreamReader {
    BPositionIO& source;
    int64_t size = 0;
    int64_t position = 0;

    static int64_t GetPosition(void* userData) {
        return static_cast<StreamReader*>(userData)->position;
    }

    static int Read(void* data, size_t size, void* userData) {
        auto* self = static_cast<StreamReader*>(userData);
        if (size > uint64_t(self->size - self->position) ||
            self->source.ReadAtExactly(self->position, data, size) != B_OK) {
            return 1;
        }
        self->position += int64_t(size);
        return 0;
    }

    static int Seek(int64_t position, void* userData) {
        auto* self = static_cast<StreamReader*>(userData);
        if (position < 0 || position > self->size) {
            return 1;
        }
        self->position = position;
        return 0;
    }

    static heif_reader_grow_status WaitForFileSize(int64_t target, void* userData) {
        return target <= static_cast<StreamReader*>(userData)->size
                   ? heif_reader_grow_status_size_reached
                   : heif_reader_grow_status_size_beyond_eof;
    }
};

constexpr heif_reader kReader = {
    1,
    StreamReader::GetPosition,
    StreamReader::Read,
    StreamReader::Seek,
    StreamReader::WaitForFileSize,
};

// Reads the file's structure and checks the primary image's size, as it will come out,
// before anything is decoded.
status_t ReadHeader(heif_context* context, StreamReader& reader, bool transform,
                    HandlePtr* handle) {
    heif_context_set_maximum_image_size_limit(context, int(kMaxImageSide));
    if (heif_error error = heif_context_read_from_reader(context, &kReader, &reader, nullptr);
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    heif_image_handle* primary = nullptr;
    if (heif_error error = heif_context_get_primary_image_handle(context, &primary);
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    handle->reset(primary);
    const int width = transform ? heif_image_handle_get_width(primary)
                                : heif_image_handle_get_ispe_width(primary);
    const int height = transform ? heif_image_handle_get_height(primary)
                                 : heif_image_handle_get_ispe_height(primary);
    if (width <= 0 || height <= 0) {
        return Fail(B_BAD_DATA, "dimensions de l'image HEIF invalides");
    }
    if (status_t status = CheckImageSize(uint64(width), uint64(height)); status != B_OK) {
        return status;
    }
    // The picture may be built from other images (grid tiles, overlay layers), whose sizes
    // libheif checks only against its side limit. None needs to be much larger than the
    // picture as stored, so the limit shrinks to its longer side, with room for a tile
    // coded larger than a small picture: a file of a few hundred bytes can then no longer
    // make libheif allocate a canvas of gigabytes for a picture of a few pixels.
    const int stored = std::max(heif_image_handle_get_ispe_width(primary),
                                heif_image_handle_get_ispe_height(primary));
    heif_context_set_maximum_image_size_limit(context,
                                              std::max({kMinimumSideLimit, width, height, stored}));
    return B_OK;
}

// Decodes the primary image to 8-bit RGB(A) and copies it into a new bitmap.
status_t ReadPixels(heif_image_handle* handle, bool transform, std::unique_ptr<BBitmap>* image) {
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    DecodingOptionsPtr options(heif_decoding_options_alloc());
    if (!options) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image HEIF");
    }
    options->ignore_transformations = transform ? 0 : 1;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    if (heif_error error = heif_decode_image(
            handle, &decoded, heif_colorspace_RGB,
            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    ImagePtr picture(decoded);
    int stride = 0;
    const uint8* plane = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int width = heif_image_get_primary_width(decoded);
    const int height = heif_image_get_primary_height(decoded);
    const int bits = heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved);
    if (plane == nullptr || width <= 0 || height <= 0 || bits != 8 ||
        stride < width * (alpha ? 4 : 3)) {
        return Fail(B_BAD_DATA, "image HEIF décodée inutilisable");
    }
    std::unique_ptr<BBitmap> bitmap;
    if (status_t status = NewImage(uint32(width), uint32(height), alpha, &bitmap); status != B_OK) {
        return status;
    }
    RowsToBitmap(plane, size_t(stride), alpha ? 4 : 3, bitmap.get());
    *image = std::move(bitmap);
    return B_OK;
}

heif_error WriteToStream(heif_context*, const void* data, size_t size, void* userData) {
    if (static_cast<BPositionIO*>(userData)->WriteExactly(data, size) != B_OK) {
        return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, "write failed"};
    }
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// A libheif picture holding the bitmap's pixels as interleaved 8-bit RGB(A).
status_t MakePicture(const BBitmap& image, bool alpha, ImagePtr* picture) {
    const int width = int(image.PixelWidth());
    const int height = int(image.PixelHeight());
    heif_image* created = nullptr;
    if (heif_image_create(width, height, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          &created)
            .code != heif_error_Ok) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image HEIF");
    }
    picture->reset(created);
    if (heif_image_add_plane(created, heif_channel_interleaved, width, height, 8).code !=
        heif_error_Ok) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image HEIF");
    }
    int stride = 0;
    uint8* plane = heif_image_get_plane(created, heif_channel_interleaved, &stride);
    if (plane == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image HEIF");
    }
    BitmapToRows(image, alpha, plane, size_t(stride));
    return B_OK;
}

}  // namespace

HEIFTranslator::HEIFTranslator() : ImageTranslator(Description()) {}

bool HEIFTranslator::CanEncode() {
    InitLibrary();
    return heif_have_encoder_for_format(heif_compression_HEVC) != 0;
}

status_t HEIFTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 header[kMaxIdentifyBytes];
    const ssize_t length = source.ReadAt(0, header, sizeof header);
    if (length < 12) {
        return B_NO_TRANSLATOR;
    }
    const int size = int(length);
    if (heif_check_filetype(header, size) != heif_filetype_yes_supported) {
        return B_NO_TRANSLATOR;
    }
    const heif_brand2 brand = heif_read_main_brand(header, size);
    if (brand == heif_fourcc_to_brand("avif") || brand == heif_fourcc_to_brand("avis") ||
        heif_has_compatible_brand(header, size, "avif") == 1 ||
        heif_has_compatible_brand(header, size, "avis") == 1) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t HEIFTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    off_t size = 0;
    if (source.GetSize(&size) != B_OK || size < 0) {
        return Fail(B_IO_ERROR, "taille du fichier HEIF illisible");
    }
    // The reader outlives the context, which reads through it until it is freed.
    StreamReader reader{source, int64_t(size), 0};
    ContextPtr context(heif_context_alloc());
    if (!context) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image HEIF");
    }
    // With the setting off the picture comes out as stored: libheif then skips its crop
    // too, which it cannot apply apart from the rotation and mirroring.
    const bool transform = Settings().Bool(kOrientationSetting.name);
    HandlePtr handle;
    if (status_t status = ReadHeader(context.get(), reader, transform, &handle); status != B_OK) {
        return status;
    }
    return ReadPixels(handle.get(), transform, image);
}

status_t HEIFTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                       BPositionIO& destination) {
    if (!CanEncode()) {
        return Fail(B_NO_TRANSLATOR, "ce traducteur ne sait pas écrire ce format");
    }
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "HEIF"); status != B_OK) {
        return status;
    }
    const bool alpha = HasTransparency(image);
    ImagePtr picture;
    if (status_t status = MakePicture(image, alpha, &picture); status != B_OK) {
        return status;
    }

    ContextPtr context(heif_context_alloc());
    if (!context) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image HEIF");
    }
    heif_encoder* found = nullptr;
    if (heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &found).code !=
        heif_error_Ok) {
        return Fail(B_NOT_ALLOWED, "aucun encodeur HEVC n'est installé");
    }
    EncoderPtr encoder(found);
    EncodingOptionsPtr options(heif_encoding_options_alloc());
    if (!options) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image HEIF");
    }
    options->save_alpha_channel = alpha ? 1 : 0;
    const char* preset = kPresets[Settings().Int32("speed")];
    if (heif_encoder_set_lossy_quality(encoder.get(), int(Settings().Int32("quality"))).code !=
            heif_error_Ok ||
        heif_encoder_set_parameter_string(encoder.get(), "preset", preset).code != heif_error_Ok ||
        heif_context_encode_image(context.get(), picture.get(), encoder.get(), options.get(),
                                  nullptr)
                .code != heif_error_Ok) {
        return Fail(B_ERROR, "l'encodeur HEVC a échoué");
    }
    heif_writer writer = {1, WriteToStream};
    if (heif_context_write(context.get(), &writer, &destination).code != heif_error_Ok) {
        return Fail(B_IO_ERROR, "écriture du fichier HEIF impossible");
    }
    return B_OK;
}

}  // namespace orv
