// SPDX-License-Identifier: MIT
#include "translators/heif/HEIFReader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ErrorReason.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/Cicp.h"
#include "translators/common/CodecThreads.h"
#include "translators/common/ExifPayload.h"
#include "translators/heif/HEIFLibrary.h"
#include "translators/heif/HeifDerivedSizes.h"

namespace orv {

namespace {

// The side limit for the images a picture is built from never goes below this.
constexpr int kMinimumSideLimit = 4096;

using DecodingOptionsPtr =
    std::unique_ptr<heif_decoding_options, FreeWith<heif_decoding_options_free>>;

// A French reason for each way libheif refuses a file, with libheif's own words after it.
status_t FailDecode(const heif_error& error) {
    status_t status = B_BAD_DATA;
    const char* reason = "structure HEIF invalide";
    if (error.subcode == heif_suberror_End_of_data) {
        reason = "fichier HEIF tronqué";
    } else if (error.subcode == heif_suberror_Security_limit_exceeded) {
        status = B_NO_MEMORY;
        reason = "image HEIF trop grande";
    } else {
        switch (error.code) {
            case heif_error_Memory_allocation_error:
                status = B_NO_MEMORY;
                reason = "mémoire insuffisante pour décoder l'image HEIF";
                break;
            case heif_error_Unsupported_filetype:
            case heif_error_Unsupported_feature:
                reason = "variante HEIF non prise en charge";
                break;
            case heif_error_Decoder_plugin_error:
                reason = "données d'image HEIF corrompues";
                break;
            default:
                break;
        }
    }
    std::string text = reason;
    if (error.message != nullptr && error.message[0] != '\0') {
        text += std::string(" (libheif : ") + error.message + ")";
    }
    return Fail(status, text);
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

// One metadata block of the image, read only once its size is known to be within bounds;
// false when the image has none of this type (and content type, when given).
status_t ReadBlock(const heif_image_handle* handle, const char* type, const char* contentType,
                   std::vector<uint8>* block, bool* found) {
    *found = false;
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
    if (count <= 0) {
        return B_OK;
    }
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed =
        heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
    for (int i = 0; i < listed; i++) {
        const char* content = heif_image_handle_get_metadata_content_type(handle, ids[size_t(i)]);
        if (contentType != nullptr &&
            (content == nullptr || std::strcmp(content, contentType) != 0)) {
            continue;
        }
        const size_t size = heif_image_handle_get_metadata_size(handle, ids[size_t(i)]);
        if (status_t status =
                CheckMetadataSize(size, (std::string("bloc ") + type + " HEIF").c_str());
            status != B_OK) {
            return status;
        }
        block->resize(size);
        if (heif_error error =
                heif_image_handle_get_metadata(handle, ids[size_t(i)], block->data());
            error.code != heif_error_Ok) {
            return FailDecode(error);
        }
        *found = true;
        return B_OK;
    }
    return B_OK;
}

// How the pixel values are meant: the ICC profile, which says it all, or the nclx box's
// code points.
status_t ReadColor(const heif_image_handle* handle, ColorDescription* color) {
    if (const size_t size = heif_image_handle_get_raw_color_profile_size(handle); size > 0) {
        if (status_t status = CheckMetadataSize(size, "profil de couleurs HEIF"); status != B_OK) {
            return status;
        }
        color->icc.resize(size);
        if (heif_error error = heif_image_handle_get_raw_color_profile(handle, color->icc.data());
            error.code != heif_error_Ok) {
            return FailDecode(error);
        }
        return B_OK;
    }
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok &&
        nclx != nullptr) {
        *color =
            CicpDescription(uint32(nclx->color_primaries), uint32(nclx->transfer_characteristics),
                            uint32(nclx->matrix_coefficients), nclx->full_range_flag != 0);
        heif_nclx_color_profile_free(nclx);
    }
    return B_OK;
}

status_t ReadMetadata(const heif_image_handle* handle, PictureMetadata* metadata) {
    if (status_t status = ReadColor(handle, &metadata->color); status != B_OK) {
        return status;
    }
    std::vector<uint8> block;
    bool found = false;
    if (status_t status = ReadBlock(handle, "Exif", nullptr, &block, &found); status != B_OK) {
        return status;
    }
    if (found) {
        metadata->exif = ExifFromPayload(block.data(), block.size());
    }
    if (status_t status = ReadBlock(handle, "mime", "application/rdf+xml", &metadata->xmp, &found);
        status != B_OK) {
        return status;
    }
    return B_OK;
}

// Decodes one image to 8-bit RGB(A) and copies it into a new bitmap. What libheif could
// not decode but passed over (a damaged alpha plane, say) is reported as damage.
status_t ReadPixels(heif_image_handle* handle, bool upright, std::unique_ptr<BBitmap>* image,
                    std::string* damage) {
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    DecodingOptionsPtr options(heif_decoding_options_alloc());
    if (!options) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image HEIF");
    }
    options->ignore_transformations = upright ? 0 : 1;
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    if (heif_error error = heif_decode_image(
            handle, &decoded, heif_colorspace_RGB,
            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    HeifImagePtr picture(decoded);
    heif_error warning;
    if (heif_image_get_decoding_warnings(decoded, 0, &warning, 1) > 0) {
        *damage = std::string("image HEIF abîmée (libheif : ") +
                  (warning.message != nullptr ? warning.message : "avertissement") + ")";
    }
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

class HEIFReader final : public PictureReader {
public:
    HEIFReader(BPositionIO& source, bool upright) : fStream{source}, fUpright(upright) {}

    status_t Open();
    status_t ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) override;

private:
    status_t FindPages(heif_item_id primary);
    status_t ReadPage(heif_item_id id, std::unique_ptr<BBitmap>* page);

    // Declared before the context, which reads through it until it is freed.
    StreamReader fStream;
    HeifContextPtr fContext;
    bool fUpright;
    // The primary image first, then the other top-level images of its size.
    std::vector<heif_item_id> fPages;
    uint32 fPagesRead = 0;
    // Pixels as stored: the primary image, decoded as the file is opened.
    std::unique_ptr<BBitmap> fFirst;
};

// Reads the file's structure and checks the primary image's size, as it will come out,
// before anything is decoded.
status_t HEIFReader::Open() {
    off_t size = 0;
    if (fStream.source.GetSize(&size) != B_OK || size < 0) {
        return Fail(B_IO_ERROR, "taille du fichier HEIF illisible");
    }
    fStream.size = int64_t(size);
    fContext.reset(heif_context_alloc());
    if (!fContext) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image HEIF");
    }
    heif_context* context = fContext.get();
    heif_context_set_maximum_image_size_limit(context, int(kMaxImageSide));
    // Grid pictures (most phones' photographs) decode their tiles on this many threads.
    heif_context_set_max_decoding_threads(context, CodecThreadCount());
    if (heif_error error = heif_context_read_from_reader(context, &kReader, &fStream, nullptr);
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    heif_item_id primaryId = 0;
    heif_image_handle* found = nullptr;
    if (heif_error error = heif_context_get_primary_image_ID(context, &primaryId);
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    if (heif_error error = heif_context_get_image_handle(context, primaryId, &found);
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    HeifHandlePtr primary(found);
    // The size as shown, which libheif knows from the rotation and crop it will apply.
    const int width = heif_image_handle_get_width(primary.get());
    const int height = heif_image_handle_get_height(primary.get());
    if (width <= 0 || height <= 0) {
        return Fail(B_BAD_DATA, "dimensions de l'image HEIF invalides");
    }
    if (status_t status = CheckImageSize(uint64(width), uint64(height)); status != B_OK) {
        return status;
    }
    // A grid or an overlay the picture is built from may state any size within libheif's
    // side limit, and libheif allocates it whole: a few times the picture's own area is as
    // much as one needs (a grid's tiles may overrun the picture's edges).
    const size_t allowed = std::max(size_t(kMinimumSideLimit) * size_t(kMinimumSideLimit),
                                    size_t(4) * size_t(width) * size_t(height));
    for (const heif::DerivedSize& derived : heif::ReadDerivedSizes(fStream.source)) {
        size_t area = 0;
        if (!CheckedMultiply(size_t(derived.width), size_t(derived.height), &area) ||
            area > allowed) {
            return Fail(
                B_BAD_DATA,
                "image HEIF refusée : une image qui la compose est bien plus grande qu'elle");
        }
    }
    // The picture may be built from other images (grid tiles, overlay layers), whose sizes
    // libheif checks only against its side limit. None needs to be much larger than the
    // picture as stored, so the limit shrinks to its longer side, with room for a tile
    // coded larger than a small picture: a file of a few hundred bytes can then no longer
    // make libheif allocate a canvas of gigabytes for a picture of a few pixels.
    const int stored = std::max(heif_image_handle_get_ispe_width(primary.get()),
                                heif_image_handle_get_ispe_height(primary.get()));
    heif_context_set_maximum_image_size_limit(context,
                                              std::max({kMinimumSideLimit, width, height, stored}));
    fInfo.width = uint32(width);
    fInfo.height = uint32(height);
    fInfo.orientationApplied = fUpright;
    if (status_t status = ReadMetadata(primary.get(), &fInfo.metadata); status != B_OK) {
        return status;
    }
    if (status_t status = FindPages(primaryId); status != B_OK) {
        return status;
    }
    // As stored, the size is what the decoder gives: libheif 1.15 writes the stored size
    // of a turned picture as its size once turned, so the file cannot be trusted for it.
    if (!fUpright) {
        if (status_t status = ReadPage(primaryId, &fFirst); status != B_OK) {
            return status;
        }
        fInfo.width = fFirst->PixelWidth();
        fInfo.height = fFirst->PixelHeight();
    }
    return B_OK;
}

// The file's other top-level images (thumbnails, tiles and alpha planes are not among
// them) become pages when they show at the primary image's size: those of another size are
// other renderings, which a sequence of same-sized frames cannot hold, and are left out.
// libheif 1.15 reads no image sequences ('msf1' tracks), so a file's frames are its items.
status_t HEIFReader::FindPages(heif_item_id primary) {
    heif_context* context = fContext.get();
    const int count = heif_context_get_number_of_top_level_images(context);
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(count, 0)));
    const int listed = heif_context_get_list_of_top_level_image_IDs(context, ids.data(), count);
    fPages.push_back(primary);
    bool alpha = false;
    for (int i = 0; i < listed; i++) {
        heif_image_handle* found = nullptr;
        if (heif_context_get_image_handle(context, ids[size_t(i)], &found).code != heif_error_Ok) {
            continue;
        }
        HeifHandlePtr handle(found);
        if (uint32(heif_image_handle_get_width(handle.get())) != fInfo.width ||
            uint32(heif_image_handle_get_height(handle.get())) != fInfo.height) {
            continue;
        }
        alpha = alpha || heif_image_handle_has_alpha_channel(handle.get()) != 0;
        if (ids[size_t(i)] != primary) {
            fPages.push_back(ids[size_t(i)]);
        }
    }
    fInfo.frameCount = uint32(fPages.size());
    fInfo.pages = fPages.size() > 1;
    fInfo.alpha = alpha;
    return B_OK;
}

// One page decoded, with any damage libheif passed over reported.
status_t HEIFReader::ReadPage(heif_item_id id, std::unique_ptr<BBitmap>* page) {
    heif_image_handle* found = nullptr;
    if (heif_error error = heif_context_get_image_handle(fContext.get(), id, &found);
        error.code != heif_error_Ok) {
        return FailDecode(error);
    }
    HeifHandlePtr handle(found);
    std::string damage;
    if (status_t status = ReadPixels(handle.get(), fUpright, page, &damage); status != B_OK) {
        return status;
    }
    if (!damage.empty()) {
        ReportDamage(std::move(damage));
    }
    return B_OK;
}

status_t HEIFReader::ReadFrame(std::unique_ptr<BBitmap>* frame, FrameTiming* timing) {
    if (fPagesRead >= fPages.size()) {
        return Fail(B_ERROR, "plus d'image dans ce fichier");
    }
    std::unique_ptr<BBitmap> bitmap = std::move(fFirst);
    if (!bitmap) {
        if (status_t status = ReadPage(fPages[fPagesRead], &bitmap); status != B_OK) {
            return status;
        }
    }
    if (bitmap->PixelWidth() != fInfo.width || bitmap->PixelHeight() != fInfo.height) {
        return Fail(B_BAD_DATA, "image HEIF dont la taille ne correspond pas à l'en-tête");
    }
    fPagesRead++;
    *timing = FrameTiming{};
    *frame = std::move(bitmap);
    return B_OK;
}

}  // namespace

status_t OpenHEIFReader(BPositionIO& source, bool upright, std::unique_ptr<PictureReader>* reader) {
    InitHeifLibrary();
    return OpenPictureReader<HEIFReader>(reader, source, upright);
}

}  // namespace orv
