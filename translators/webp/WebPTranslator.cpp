// SPDX-License-Identifier: MIT
#include "translators/webp/WebPTranslator.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/support/ByteOrder.h"
#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/common/CommonSettings.h"

namespace orv {

namespace {

constexpr translation_format kFormats[] = {
    {FourCC("WEBP"), B_TRANSLATOR_BITMAP, 0.9f, 0.8f, "image/webp", "Image WebP"},
};

constexpr SettingSchema kSettings[] = {
    {"quality", SettingSchema::Kind::Int, "Qualité", 90, 0, 100},
    kLosslessSetting,
    {"method", SettingSchema::Kind::Int, "Effort de compression (0 rapide, 6 lent)", 4, 0, 6},
    kOrientationSetting,
};

constexpr size_t kRiffHeaderSize = 12;

bool IsWebP(const uint8* header) {
    return std::memcmp(header, "RIFF", 4) == 0 && std::memcmp(header + 8, "WEBP", 4) == 0;
}

status_t StatusFailure(VP8StatusCode code) {
    switch (code) {
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return Fail(B_BAD_DATA, "fichier WebP tronqué");
        case VP8_STATUS_OUT_OF_MEMORY:
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour lire le WebP");
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return Fail(B_BAD_DATA, "variante de WebP non prise en charge");
        default:
            return Fail(B_BAD_DATA, "fichier WebP endommagé");
    }
}

// libwebp decodes from memory. The file is read once, up to the size its RIFF header gives:
// a header that promises more than the stream holds is a truncated file, found before any
// large allocation.
status_t ReadWholeFile(BPositionIO& source, std::vector<uint8>* data) {
    uint8 header[kRiffHeaderSize];
    if (source.ReadAt(0, header, sizeof(header)) != ssize_t(sizeof(header)) || !IsWebP(header)) {
        return Fail(B_BAD_DATA, "fichier WebP tronqué ou illisible");
    }
    // The RIFF size counts what follows its own eight bytes of tag and size.
    const uint64 declared = uint64(ReadLE32(header + 4)) + 8;
    off_t end = source.Seek(0, SEEK_FROM_END);
    if (end < 0) {
        return Fail(B_IO_ERROR, "lecture du WebP impossible");
    }
    if (uint64(end) < declared) {
        return Fail(B_BAD_DATA, "fichier WebP tronqué");
    }
    data->resize(size_t(declared));
    if (source.ReadAtExactly(0, data->data(), data->size()) != B_OK) {
        return Fail(B_IO_ERROR, "lecture du WebP impossible");
    }
    return B_OK;
}

int Orientation(const WebPDemuxer* demux) {
    if ((WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & EXIF_FLAG) == 0) {
        return 1;
    }
    WebPChunkIterator chunk;
    int orientation = 1;
    if (WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) {
        orientation = ExifOrientation(chunk.chunk.bytes, chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    return orientation;
}

// The first frame of an animation, composed on its canvas as a player would show it.
status_t DecodeFirstFrame(const WebPData& data, BBitmap* bitmap) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        return Fail(B_ERROR, "version de libwebp incompatible");
    }
    options.color_mode = MODE_BGRA;
    std::unique_ptr<WebPAnimDecoder, FreeWith<WebPAnimDecoderDelete>> decoder(
        WebPAnimDecoderNew(&data, &options));
    uint8* canvas = nullptr;
    int timestamp = 0;
    if (decoder == nullptr || !WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp)) {
        return Fail(B_BAD_DATA, "animation WebP endommagée");
    }
    size_t rowSize = size_t(bitmap->PixelWidth()) * 4;
    auto* bits = static_cast<uint8*>(bitmap->Bits());
    for (uint32 y = 0; y < bitmap->PixelHeight(); y++) {
        std::memcpy(bits + size_t(y) * size_t(bitmap->BytesPerRow()), canvas + y * rowSize,
                    rowSize);
    }
    return B_OK;
}

// A still picture is decoded straight into the bitmap.
status_t DecodeStill(const WebPData& data, BBitmap* bitmap) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        return Fail(B_ERROR, "version de libwebp incompatible");
    }
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = static_cast<uint8*>(bitmap->Bits());
    config.output.u.RGBA.stride = bitmap->BytesPerRow();
    config.output.u.RGBA.size = size_t(bitmap->BitsLength());
    VP8StatusCode code = WebPDecode(data.bytes, data.size, &config);
    WebPFreeDecBuffer(&config.output);
    return code == VP8_STATUS_OK ? B_OK : StatusFailure(code);
}

struct WriteContext {
    BPositionIO* stream;
    bool failed;
};

int WriteData(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* context = static_cast<WriteContext*>(picture->custom_ptr);
    if (context->stream->WriteExactly(data, size) != B_OK) {
        context->failed = true;
        return 0;
    }
    return 1;
}

}  // namespace

WebPTranslator::WebPTranslator()
    : ImageTranslator({"Images WebP", "Images WebP, par libwebp", 100, "webp", kFormats, kFormats,
                       kSettings}) {}

status_t WebPTranslator::IdentifyImage(BPositionIO& source, const translation_format** format) {
    uint8 header[kRiffHeaderSize];
    if (source.ReadAt(0, header, sizeof(header)) != ssize_t(sizeof(header)) || !IsWebP(header)) {
        return B_NO_TRANSLATOR;
    }
    *format = &kFormats[0];
    return B_OK;
}

status_t WebPTranslator::DecodePicture(BPositionIO& source, DecodedImage* decoded) {
    std::unique_ptr<BBitmap>* image = &decoded->bitmap;
    std::vector<uint8> bytes;
    status_t status = ReadWholeFile(source, &bytes);
    if (status != B_OK) {
        return status;
    }
    WebPBitstreamFeatures features;
    VP8StatusCode code = WebPGetFeatures(bytes.data(), bytes.size(), &features);
    if (code != VP8_STATUS_OK) {
        return StatusFailure(code);
    }
    WebPData data{bytes.data(), bytes.size()};
    std::unique_ptr<WebPDemuxer, FreeWith<WebPDemuxDelete>> demux(WebPDemux(&data));
    if (demux == nullptr) {
        return Fail(B_BAD_DATA, "fichier WebP endommagé");
    }
    // For an extended file these are the canvas's, which every frame fits in.
    std::unique_ptr<BBitmap> bitmap;
    status =
        NewImage(uint32(features.width), uint32(features.height), features.has_alpha != 0, &bitmap);
    if (status != B_OK) {
        return status;
    }
    status = features.has_animation ? DecodeFirstFrame(data, bitmap.get())
                                    : DecodeStill(data, bitmap.get());
    if (status != B_OK) {
        return status;
    }
    *image = std::move(bitmap);
    return ApplyOrientationSetting(Settings(), Orientation(demux.get()), image);
}

status_t WebPTranslator::EncodePicture(const BBitmap& image, const PictureInfo&, uint32 outType,
                                       BPositionIO& destination) {
    if (status_t status = CheckEncodeRequest(image, outType, kFormats, "WebP"); status != B_OK) {
        return status;
    }
    if (image.PixelWidth() > WEBP_MAX_DIMENSION || image.PixelHeight() > WEBP_MAX_DIMENSION) {
        return Fail(B_BAD_VALUE, "image trop grande pour le format WebP (16383 pixels au plus)");
    }
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        return Fail(B_ERROR, "version de libwebp incompatible");
    }
    config.quality = float(Settings().Int32("quality"));
    config.method = int(Settings().Int32("method"));
    config.lossless = Settings().Bool(kLosslessSetting.name) ? 1 : 0;
    // Without it, lossless would still change the colour of invisible pixels.
    config.exact = config.lossless;

    WebPPicture picture;
    if (!WebPPictureInit(&picture)) {
        return Fail(B_ERROR, "version de libwebp incompatible");
    }
    std::unique_ptr<WebPPicture, FreeWith<WebPPictureFree>> owner(&picture);
    picture.width = int(image.PixelWidth());
    picture.height = int(image.PixelHeight());
    picture.use_argb = config.lossless;
    const auto* bits = static_cast<const uint8*>(image.Bits());
    int imported = HasTransparency(image)
                       ? WebPPictureImportBGRA(&picture, bits, image.BytesPerRow())
                       : WebPPictureImportBGRX(&picture, bits, image.BytesPerRow());
    if (!imported) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le WebP");
    }
    WriteContext context{&destination, false};
    picture.writer = WriteData;
    picture.custom_ptr = &context;
    if (!WebPEncode(&config, &picture)) {
        if (context.failed) {
            return Fail(B_IO_ERROR, "écriture du WebP impossible");
        }
        return Fail(B_ERROR, "encodage WebP impossible (erreur " +
                                 std::to_string(int(picture.error_code)) + ")");
    }
    return B_OK;
}

}  // namespace orv
