// SPDX-License-Identifier: MIT
#include "translators/heif/HEIFTranslator.h"

#include <libheif/heif.h>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/ColorManagement.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"
#include "translators/heif/HEIFLibrary.h"
#include "translators/heif/HEIFReader.h"

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

// The largest ftyp box we look at to identify a stream; real ones are a few dozen bytes.
constexpr size_t kMaxIdentifyBytes = 4096;

using EncoderPtr = std::unique_ptr<heif_encoder, FreeWith<heif_encoder_release>>;
using EncodingOptionsPtr =
    std::unique_ptr<heif_encoding_options, FreeWith<heif_encoding_options_free>>;
using NclxPtr = std::unique_ptr<heif_color_profile_nclx, FreeWith<heif_nclx_color_profile_free>>;

const char* DescriptionInfo() {
    static const std::string info = std::string("Images HEIF, libheif ") + heif_get_version();
    return info.c_str();
}

// libheif 1.15 writes no image sequences; several top-level images would be pages that no
// viewer plays, so an animation keeps its first frame, with a warning.
TranslatorDescription Description() {
    return ReadOnlyUnless(HEIFTranslator::CanEncode(),
                          {"Images HEIF",
                           DescriptionInfo(),
                           100,
                           "heif",
                           kFormats,
                           kFormats,
                           kSettings,
                           {.sequences = false, .profiles = true, .metadata = true}});
}

heif_error WriteToStream(heif_context*, const void* data, size_t size, void* userData) {
    if (static_cast<BPositionIO*>(userData)->WriteExactly(data, size) != B_OK) {
        return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data, "write failed"};
    }
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// A libheif picture holding the bitmap's pixels as interleaved 8-bit RGB(A).
status_t MakePicture(const BBitmap& image, bool alpha, HeifImagePtr* picture) {
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

status_t FailEncode(const heif_error& error) {
    return Fail(B_ERROR, std::string("l'encodeur HEVC a échoué (libheif : ") +
                             (error.message != nullptr ? error.message : "") + ")");
}

// CICP code points go into the file's nclx box as they are: set on the picture and in the
// encoder's options, since libheif 1.15 writes them only so; anything else is told by a
// profile: the picture's own, or one made from its gamma and primaries. Without either
// libheif describes the picture as sRGB. The matrix is the encoder's own choice, BT.601,
// libheif's default.
status_t DescribeColors(const ColorDescription& color, heif_image* picture, NclxPtr* nclxOut) {
    constexpr uint16_t kUnspecified = 2;
    constexpr uint16_t kBT601 = 6;
    if (color.icc.empty() && color.HasCicp()) {
        NclxPtr nclx(heif_nclx_color_profile_alloc());
        if (!nclx) {
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour encoder l'image HEIF");
        }
        if (heif_nclx_color_profile_set_color_primaries(
                nclx.get(), color.primaries != 0 ? color.primaries : kUnspecified)
                    .code != heif_error_Ok ||
            heif_nclx_color_profile_set_transfer_characteristics(
                nclx.get(), color.transfer != 0 ? color.transfer : kUnspecified)
                    .code != heif_error_Ok ||
            heif_nclx_color_profile_set_matrix_coefficients(nclx.get(), kBT601).code !=
                heif_error_Ok) {
            return Fail(B_BAD_VALUE, "description des couleurs que le HEIF ne sait pas dire");
        }
        nclx->full_range_flag = 1;
        if (heif_error error = heif_image_set_nclx_color_profile(picture, nclx.get());
            error.code != heif_error_Ok) {
            return FailEncode(error);
        }
        *nclxOut = std::move(nclx);
        return B_OK;
    }
    const std::vector<uint8> profile = ProfileBytes(color);
    if (profile.empty()) {
        return B_OK;
    }
    if (heif_error error =
            heif_image_set_raw_color_profile(picture, "prof", profile.data(), profile.size());
        error.code != heif_error_Ok) {
        return FailEncode(error);
    }
    return B_OK;
}

// EXIF and XMP as libheif stores them: an "Exif" item (libheif puts the offset field
// before the TIFF structure) and a "mime" item of XMP, both tied to the picture.
status_t AddMetadata(heif_context* context, const heif_image_handle* handle,
                     const PictureMetadata& metadata) {
    if (!metadata.exif.empty()) {
        if (heif_error error = heif_context_add_exif_metadata(context, handle, metadata.exif.data(),
                                                              int(metadata.exif.size()));
            error.code != heif_error_Ok) {
            return FailEncode(error);
        }
    }
    if (!metadata.xmp.empty()) {
        if (heif_error error = heif_context_add_XMP_metadata(context, handle, metadata.xmp.data(),
                                                             int(metadata.xmp.size()));
            error.code != heif_error_Ok) {
            return FailEncode(error);
        }
    }
    return B_OK;
}

}  // namespace

HEIFTranslator::HEIFTranslator() : ImageTranslator(Description()) {}

void InitHeifLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

bool HEIFTranslator::CanEncode() {
    InitHeifLibrary();
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

status_t HEIFTranslator::OpenReader(BPositionIO& source, std::unique_ptr<PictureReader>* reader) {
    return OpenHEIFReader(source, Settings().Bool(kOrientationSetting.name), reader);
}

status_t HEIFTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    return DecodeThroughReader(source, decoded);
}

status_t HEIFTranslator::EncodePicture(const BBitmap& image, const PictureInfo& info,
                                       uint32 outType, BPositionIO& destination) {
    if (!CanEncode()) {
        return Fail(B_NO_TRANSLATOR, "ce traducteur ne sait pas écrire ce format");
    }
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "HEIF"); status != B_OK) {
        return status;
    }
    const bool alpha = HasTransparency(image);
    HeifImagePtr picture;
    if (status_t status = MakePicture(image, alpha, &picture); status != B_OK) {
        return status;
    }
    NclxPtr nclx;
    if (status_t status = DescribeColors(info.metadata.color, picture.get(), &nclx);
        status != B_OK) {
        return status;
    }

    HeifContextPtr context(heif_context_alloc());
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
    if (nclx) {
        options->output_nclx_profile = nclx.get();
        options->macOS_compatibility_workaround_no_nclx_profile = 0;
    }
    // The file shows as the picture it was given would: an EXIF orientation still to be
    // applied becomes irot and imir, which HEIF viewers follow instead of the EXIF.
    options->image_orientation =
        heif_orientation(ExifOrientation(info.metadata.exif.data(), info.metadata.exif.size()));
    const char* preset = kPresets[Settings().Int32("speed")];
    heif_image_handle* encoded = nullptr;
    if (heif_error error =
            heif_encoder_set_lossy_quality(encoder.get(), int(Settings().Int32("quality")));
        error.code != heif_error_Ok) {
        return FailEncode(error);
    }
    if (heif_error error = heif_encoder_set_parameter_string(encoder.get(), "preset", preset);
        error.code != heif_error_Ok) {
        return FailEncode(error);
    }
    if (heif_error error = heif_context_encode_image(context.get(), picture.get(), encoder.get(),
                                                     options.get(), &encoded);
        error.code != heif_error_Ok) {
        return FailEncode(error);
    }
    HeifHandlePtr handle(encoded);
    if (status_t status = AddMetadata(context.get(), handle.get(), info.metadata); status != B_OK) {
        return status;
    }
    heif_writer writer = {1, WriteToStream};
    if (heif_context_write(context.get(), &writer, &destination).code != heif_error_Ok) {
        return Fail(B_IO_ERROR, "écriture du fichier HEIF impossible");
    }
    return B_OK;
}

}  // namespace orv
