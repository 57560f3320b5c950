// SPDX-License-Identifier: MIT
#include "translators/webp/WebPWriter.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/support/ErrorReason.h"
#include "platform/support/FreeWith.h"
#include "platform/translation/CodecChecks.h"
#include "platform/translation/PixelRows.h"
#include "translators/webp/WebPFormat.h"

namespace orv {

namespace {

using AnimEncoderPtr = std::unique_ptr<WebPAnimEncoder, FreeWith<WebPAnimEncoderDelete>>;
using MuxPtr = std::unique_ptr<WebPMux, FreeWith<WebPMuxDelete>>;
using PicturePtr = std::unique_ptr<WebPPicture, FreeWith<WebPPictureFree>>;

// The longest duration a frame's header can hold (24 bits of milliseconds).
constexpr uint32 kMaxFrameDuration = 0xffffff;
constexpr int32 kMaxLoopCount = 0xffff;

// Bytes libwebp made and owns until cleared.
struct OwnedData {
    WebPData data;
    OwnedData() { WebPDataInit(&data); }
    ~OwnedData() { WebPDataClear(&data); }
    OwnedData(const OwnedData&) = delete;
    OwnedData& operator=(const OwnedData&) = delete;
};

status_t IncompatibleLibrary() {
    return Fail(B_ERROR, "version de libwebp incompatible");
}

status_t CheckCanvas(uint32 width, uint32 height) {
    if (width > WEBP_MAX_DIMENSION || height > WEBP_MAX_DIMENSION) {
        return Fail(B_BAD_VALUE, "image trop grande pour le format WebP (16383 pixels au plus)");
    }
    return B_OK;
}

status_t MakeConfig(const WebPWriteOptions& options, WebPConfig* config) {
    if (!WebPConfigInit(config)) {
        return IncompatibleLibrary();
    }
    config->quality = float(options.quality);
    config->method = options.method;
    config->lossless = options.lossless ? 1 : 0;
    // Without it, lossless would still change the colour of invisible pixels.
    config->exact = config->lossless;
    config->thread_level = options.threads ? 1 : 0;
    return B_OK;
}

// The frame's pixels into a libwebp picture; an opaque one is imported without alpha, so
// that a lossy file carries no alpha plane for nothing.
status_t ImportFrame(const BBitmap& frame, bool argb, WebPPicture* picture) {
    if (status_t status = CheckEncodeRequest(frame, kWebPFormats[0].type, kWebPFormats, "WebP");
        status != B_OK) {
        return status;
    }
    if (status_t status = CheckCanvas(frame.PixelWidth(), frame.PixelHeight()); status != B_OK) {
        return status;
    }
    if (!WebPPictureInit(picture)) {
        return IncompatibleLibrary();
    }
    picture->width = int(frame.PixelWidth());
    picture->height = int(frame.PixelHeight());
    picture->use_argb = argb ? 1 : 0;
    const auto* bits = static_cast<const uint8*>(frame.Bits());
    const int imported = HasTransparency(frame)
                             ? WebPPictureImportBGRA(picture, bits, frame.BytesPerRow())
                             : WebPPictureImportBGRX(picture, bits, frame.BytesPerRow());
    return imported ? B_OK : Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le WebP");
}

status_t EncodingFailure(const WebPPicture& picture) {
    if (picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le WebP");
    }
    return Fail(B_ERROR, "encodage WebP impossible (erreur " +
                             std::to_string(int(picture.error_code)) + ")");
}

status_t WriteAll(BPositionIO& destination, const WebPData& data) {
    if (destination.WriteExactly(data.bytes, data.size) != B_OK) {
        return Fail(B_IO_ERROR, "écriture du WebP impossible");
    }
    return B_OK;
}

bool HasChunks(const PictureMetadata& metadata) {
    return !metadata.color.icc.empty() || !metadata.exif.empty() || !metadata.xmp.empty();
}

// The file libwebp made, in the extended container with the profile and the EXIF and XMP
// blocks beside the pixels, written to the destination.
status_t WriteWithChunks(BPositionIO& destination, const WebPData& image,
                         const PictureMetadata& metadata) {
    MuxPtr mux(WebPMuxCreate(&image, 0));
    if (mux == nullptr) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le WebP");
    }
    const struct {
        const char* fourcc;
        const std::vector<uint8>& bytes;
    } chunks[] = {{"ICCP", metadata.color.icc}, {"EXIF", metadata.exif}, {"XMP ", metadata.xmp}};
    for (const auto& chunk : chunks) {
        const WebPData data{chunk.bytes.data(), chunk.bytes.size()};
        if (!chunk.bytes.empty() &&
            WebPMuxSetChunk(mux.get(), chunk.fourcc, &data, 0) != WEBP_MUX_OK) {
            return Fail(B_ERROR,
                        std::string("bloc ") + chunk.fourcc + " impossible à écrire en WebP");
        }
    }
    OwnedData file;
    if (WebPMuxAssemble(mux.get(), &file.data) != WEBP_MUX_OK) {
        return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le WebP");
    }
    return WriteAll(destination, file.data);
}

struct StreamContext {
    BPositionIO* stream;
    bool failed;
};

int WriteToStream(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* context = static_cast<StreamContext*>(picture->custom_ptr);
    if (context->stream->WriteExactly(data, size) != B_OK) {
        context->failed = true;
        return 0;
    }
    return 1;
}

class WebPWriter final : public PictureWriter {
public:
    WebPWriter(BPositionIO& destination, const WebPWriteOptions& options)
        : fDestination(destination), fOptions(options) {}

    status_t Begin(const PictureInfo& info) override;
    status_t WriteFrame(const BBitmap& frame, const FrameTiming& timing) override;
    status_t Finish() override;

private:
    status_t WriteStill(const BBitmap& frame);
    status_t AddFrame(const BBitmap& frame, const FrameTiming& timing);

    BPositionIO& fDestination;
    WebPWriteOptions fOptions;
    WebPConfig fConfig;
    PictureInfo fInfo;
    bool fBegun = false;
    uint32 fFrames = 0;
    AnimEncoderPtr fAnimation;  // set for a sequence of frames
    int64 fTimestamp = 0;       // where the next frame starts, in milliseconds
};

status_t WebPWriter::Begin(const PictureInfo& info) {
    if (fBegun) {
        return Fail(B_NOT_ALLOWED, "écriture du WebP déjà commencée");
    }
    fInfo = info;
    if (status_t status = MakeConfig(fOptions, &fConfig); status != B_OK) {
        return status;
    }
    if (info.frameCount > 1) {
        if (status_t status = CheckCanvas(info.width, info.height); status != B_OK) {
            return status;
        }
        WebPAnimEncoderOptions options;
        if (!WebPAnimEncoderOptionsInit(&options)) {
            return IncompatibleLibrary();
        }
        // The file holds 16 bits; more loops than that are as good as forever to a viewer.
        options.anim_params.loop_count = std::clamp(info.loopCount, 0, kMaxLoopCount);
        fAnimation.reset(WebPAnimEncoderNew(int(info.width), int(info.height), &options));
        if (fAnimation == nullptr) {
            return Fail(B_NO_MEMORY, "mémoire insuffisante pour écrire le WebP");
        }
    }
    fBegun = true;
    return B_OK;
}

status_t WebPWriter::WriteFrame(const BBitmap& frame, const FrameTiming& timing) {
    if (!fBegun) {
        return Fail(B_NOT_ALLOWED, "écriture du WebP non commencée");
    }
    if (fAnimation == nullptr && fFrames > 0) {
        return Fail(B_NOT_ALLOWED, "une seule image annoncée pour ce WebP");
    }
    const status_t status = fAnimation != nullptr ? AddFrame(frame, timing) : WriteStill(frame);
    if (status == B_OK) {
        fFrames++;
    }
    return status;
}

// A still picture is written as it is encoded, unless chunks must go beside it.
status_t WebPWriter::WriteStill(const BBitmap& frame) {
    WebPPicture picture{};  // zeroed, so that freeing it is safe however far it got
    PicturePtr owner(&picture);
    if (status_t status = ImportFrame(frame, fConfig.lossless != 0, &picture); status != B_OK) {
        return status;
    }
    const bool chunks = HasChunks(fInfo.metadata);
    StreamContext stream{&fDestination, false};
    WebPMemoryWriter memory;
    WebPMemoryWriterInit(&memory);
    std::unique_ptr<WebPMemoryWriter, FreeWith<WebPMemoryWriterClear>> memoryOwner(&memory);
    if (chunks) {
        picture.writer = WebPMemoryWrite;
        picture.custom_ptr = &memory;
    } else {
        picture.writer = WriteToStream;
        picture.custom_ptr = &stream;
    }
    if (!WebPEncode(&fConfig, &picture)) {
        return stream.failed ? Fail(B_IO_ERROR, "écriture du WebP impossible")
                             : EncodingFailure(picture);
    }
    if (!chunks) {
        return B_OK;
    }
    return WriteWithChunks(fDestination, WebPData{memory.mem, memory.size}, fInfo.metadata);
}

status_t WebPWriter::AddFrame(const BBitmap& frame, const FrameTiming& timing) {
    if (frame.PixelWidth() != fInfo.width || frame.PixelHeight() != fInfo.height) {
        return Fail(B_BAD_VALUE, "image de taille différente de celle de l'animation");
    }
    // The animation encoder works in ARGB: frames go in so, without a loss through YUV.
    WebPPicture picture{};  // zeroed, so that freeing it is safe however far it got
    PicturePtr owner(&picture);
    if (status_t status = ImportFrame(frame, true, &picture); status != B_OK) {
        return status;
    }
    if (!WebPAnimEncoderAdd(fAnimation.get(), &picture, int(fTimestamp), &fConfig)) {
        return EncodingFailure(picture);
    }
    fTimestamp += std::min(timing.delayMs, kMaxFrameDuration);
    if (fTimestamp > INT_MAX) {
        return Fail(B_BAD_VALUE, "animation trop longue pour le format WebP");
    }
    return B_OK;
}

status_t WebPWriter::Finish() {
    if (fFrames == 0) {
        return Fail(B_ERROR, "aucune image à écrire");
    }
    if (fAnimation == nullptr) {
        return B_OK;
    }
    // The end of the last frame gives its duration.
    OwnedData file;
    if (!WebPAnimEncoderAdd(fAnimation.get(), nullptr, int(fTimestamp), nullptr) ||
        !WebPAnimEncoderAssemble(fAnimation.get(), &file.data)) {
        return Fail(B_ERROR, std::string("animation WebP impossible à écrire : ") +
                                 WebPAnimEncoderGetError(fAnimation.get()));
    }
    fAnimation.reset();
    return HasChunks(fInfo.metadata) ? WriteWithChunks(fDestination, file.data, fInfo.metadata)
                                     : WriteAll(fDestination, file.data);
}

}  // namespace

std::unique_ptr<PictureWriter> NewWebPWriter(BPositionIO& destination,
                                             const WebPWriteOptions& options) {
    return std::make_unique<WebPWriter>(destination, options);
}

}  // namespace orv
