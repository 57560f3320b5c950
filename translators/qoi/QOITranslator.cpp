// SPDX-License-Identifier: MIT
#include "translators/qoi/QOITranslator.h"

#include <cstdlib>
#include <cstring>

#define QOI_NO_STDIO
#define QOI_IMPLEMENTATION
#include <qoi.h>

#include "platform/storage/MimeType.h"
#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/support/ImageLimits.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"

namespace orv {
namespace {

constexpr translation_format kFormats[] = {
    {FourCC("qoif"), B_TRANSLATOR_BITMAP, 0.9f, 0.9f, "image/qoi", "Image QOI"},
};

constexpr TranslatorDescription kDescription = {
    "Images QOI", "Images QOI sans perte, par le codec de référence qoi.h",
    100,          "qoi",
    kFormats,     kFormats,
    {},
};

constexpr size_t kHeaderSize = 14;
constexpr uint8 kEndMarker[8] = {0, 0, 0, 0, 0, 0, 0, 1};
// No chunk is longer than 5 bytes (QOI_OP_RGBA) and each gives at least one pixel.
constexpr uint64 kLongestChunk = 5;
constexpr uint64 kLongestRun = 62;

struct QOIHeader {
    uint32 width;
    uint32 height;
    uint8 channels;
    uint8 colorspace;  // QOI_SRGB, or QOI_LINEAR: every channel linear light
};

// B_NO_TRANSLATOR when the stream is not QOI at all, B_BAD_DATA when it is a damaged one.
status_t ReadHeader(BPositionIO& source, QOIHeader* header) {
    uint8 bytes[kHeaderSize];
    if (source.ReadAt(0, bytes, kHeaderSize) != ssize_t(kHeaderSize) ||
        std::memcmp(bytes, "qoif", 4) != 0) {
        return B_NO_TRANSLATOR;
    }
    header->width = ReadBE32(bytes + 4);
    header->height = ReadBE32(bytes + 8);
    header->channels = bytes[12];
    header->colorspace = bytes[13];
    if ((header->channels != 3 && header->channels != 4) || header->colorspace > QOI_LINEAR) {
        return Fail(B_BAD_DATA, "en-tête QOI invalide");
    }
    return B_OK;
}

// qoi.h hands back buffers from malloc.
void FreeBuffer(void* buffer) {
    std::free(buffer);
}
using MallocPtr = std::unique_ptr<uint8[], FreeWith<FreeBuffer>>;

}  // namespace

QOITranslator::QOITranslator() : ImageTranslator(kDescription) {
    // The system's MIME database may not know the type: outputs still need their extension.
    BMimeType::RegisterExtensions("image/qoi", {"qoi"});
}

status_t QOITranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    QOIHeader header;
    const status_t status = ReadHeader(source, &header);
    ClearErrorReason();  // a damaged header is only "not ours" here
    if (status != B_OK) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t QOITranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    QOIHeader header;
    status_t status = ReadHeader(source, &header);
    if (status == B_NO_TRANSLATOR) {
        return Fail(B_NO_TRANSLATOR, "ce n'est pas une image QOI");
    }
    if (status != B_OK) {
        return status;
    }
    if ((status = CheckImageSize(header.width, header.height)) != B_OK) {
        return status;
    }

    off_t size = 0;
    if ((status = source.GetSize(&size)) != B_OK) {
        return Fail(status, "taille du fichier QOI illisible");
    }
    const uint64 pixels = uint64(header.width) * header.height;
    const uint64 longest = kHeaderSize + pixels * kLongestChunk + sizeof(kEndMarker);
    if (size < off_t(kHeaderSize + sizeof(kEndMarker))) {
        return Fail(B_BAD_DATA, "fichier QOI tronqué");
    }
    if (uint64(size) > longest) {
        return Fail(B_BAD_DATA, "données QOI en trop après l'image");
    }
    // Nor can it be shorter than runs of 62 pixels, the longest a chunk covers: a few bytes
    // that claim a huge picture are refused before anything is allocated.
    if (uint64(size) - kHeaderSize - sizeof(kEndMarker) <
        (pixels + kLongestRun - 1) / kLongestRun) {
        return Fail(B_BAD_DATA, "fichier QOI tronqué");
    }

    // The reference decoder works on the whole file in memory; the size bound above keeps
    // it well under its 2 GiB limit.
    std::unique_ptr<uint8[]> data(new (std::nothrow) uint8[size_t(size)]);
    if (!data) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour le fichier QOI");
    }
    if ((status = source.ReadAtExactly(0, data.get(), size_t(size))) != B_OK) {
        return Fail(status, "fichier QOI illisible");
    }
    // The reference decoder repeats the last pixel when the chunks run out; a file cut
    // short must not come out as a picture smeared to its end, so its end marker must be
    // there.
    if (std::memcmp(data.get() + size - sizeof(kEndMarker), kEndMarker, sizeof(kEndMarker)) != 0) {
        return Fail(B_BAD_DATA, "fichier QOI tronqué");
    }

    qoi_desc desc{};
    MallocPtr rgba(static_cast<uint8*>(qoi_decode(data.get(), int(size), &desc, header.channels)));
    data.reset();
    if (!rgba) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour décoder l'image QOI");
    }

    if ((status = NewImage(header.width, header.height, header.channels == 4, image)) != B_OK) {
        return status;
    }
    RowsToBitmap(rgba.get(), size_t(header.width) * header.channels, header.channels, image->get());
    // Linear values are said as such (sRGB primaries, linear transfer), so that they are
    // turned into sRGB wherever the output cannot say it; sRGB needs no word.
    if (header.colorspace == QOI_LINEAR) {
        ColorDescription& color = decoded->info.metadata.color;
        color.primaries = 1;
        color.transfer = 8;
        color.matrix = 0;
    }
    return B_OK;
}

status_t QOITranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                      BPositionIO& destination) {
    status_t status = CheckEncodeRequest(image, outType, kFormats, "QOI");
    if (status != B_OK) {
        return status;
    }
    const uint32 width = image.PixelWidth();
    const uint32 height = image.PixelHeight();

    // An RGBA picture whose pixels are all opaque is stored as RGB: a third smaller, and
    // read back the same.
    const uint8 channels = HasTransparency(image) ? 4 : 3;
    size_t rowLength = 0;
    size_t length = 0;
    if (!CheckedMultiply(width, channels, &rowLength) ||
        !CheckedMultiply(rowLength, height, &length)) {
        return Fail(B_NO_MEMORY, "image trop grande");
    }
    std::unique_ptr<uint8[]> rows(new (std::nothrow) uint8[length]);
    if (!rows) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour coder l'image QOI");
    }
    BitmapToRows(image, channels == 4, rows.get(), rowLength);

    const qoi_desc desc = {width, height, channels, QOI_SRGB};
    int encodedLength = 0;
    MallocPtr encoded(static_cast<uint8*>(qoi_encode(rows.get(), &desc, &encodedLength)));
    rows.reset();
    if (!encoded) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour coder l'image QOI");
    }
    if ((status = destination.WriteExactly(encoded.get(), size_t(encodedLength))) != B_OK) {
        return Fail(status, "écriture du fichier QOI impossible");
    }
    return B_OK;
}

}  // namespace orv
